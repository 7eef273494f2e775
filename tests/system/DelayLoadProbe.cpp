// A program whose own thread needs an import that cannot be had, with the
// delay-load hooks in as every program of ours installs them:
//   delay_load_probe <log folder> <exit code> dll|function-after-exit
//     dll                   calls into a DLL that exists nowhere
//     function-after-exit   declares a thread exit, lets it go, then calls a
//                           function version.dll lacks
// The process must end with <exit code> and the failure in the log
// "Probe<yyyymmdd>.log", not with an unhandled exception. Returns 100 when
// the call came back, 101 on bad arguments.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "log/LogModule.h"
#include "system/DelayLoadHooks.h"
#include "tests/system/AbsentImports.h"

namespace {

void NeverReported(void*, const char*) { std::abort(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 101;
  qrn::LogInit("Probe", argv[1]);
  qrn::InstallDelayLoadHooks(static_cast<unsigned>(std::atoi(argv[2])));
  if (std::strcmp(argv[3], "dll") == 0) {
    QrnAbsentDllProbe(1, 2);
  } else if (std::strcmp(argv[3], "function-after-exit") == 0) {
    { const qrn::DelayLoadFailureExit gone(NeverReported, nullptr, 0); }
    QrnAbsentFunctionProbe(1, 2);
  } else {
    return 101;
  }
  qrn::LogUninit();
  return 100;
}
