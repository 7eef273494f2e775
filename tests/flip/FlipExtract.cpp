// The extraction pass alone, for the damaged-setup campaign:
//   flip_extract <setup.exe> <install-folder> <log-folder>
// Runs the pass over the payload appended to <setup.exe> into
// <install-folder>, logging to "<log-folder>\Flip<date>.log" as the
// installer logs. Exit code 0 when the pass succeeded, 1 when it failed;
// anything else (a crash) is the campaign's fault to report.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/InstallSettings.h"
#include "log/Log.h"
#include "payload/ExtractArchive.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: flip_extract <setup.exe> <install-folder> <log-folder>\n");
    return 2;
  }
  char logFolder[MAX_PATH] = {};
  if (WideCharToMultiByte(CP_ACP, 0, argv[3], -1, logFolder, MAX_PATH, nullptr, nullptr) == 0 ||
      !qrn::LogInit("Flip", logFolder)) {
    std::fprintf(stderr, "flip_extract: cannot open the log in %ls\n", argv[3]);
    return 2;
  }
  qrn::InstallSettings settings;
  settings.installFolder = argv[2];
  const BOOL ok = qrn::ExtractArchiveSetup(settings, argv[1]);
  qrn::LogUninit();
  return ok ? 0 : 1;
}
