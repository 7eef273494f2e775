// A failed delay load on a thread that cannot end alone (the window's, the
// uninstaller's): the process must end with the exit code its program gave
// the hooks and a log line, instead of dying of the helper's exception. Runs
// delay_load_probe (DelayLoadProbe.cpp), a real program with real
// delay-load imports that cannot be had (AbsentImports.h).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

std::wstring ProbePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"delay_load_probe.exe";
}

// The probe's exit code; ~0u when it did not end within 60 s.
DWORD RunProbe(const std::wstring& logFolder, const wchar_t* mode) {
  std::wstring command = L"\"" + ProbePath() + L"\" \"" + logFolder + L"\" 3 " + mode;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      process.put())) {
    ADD_FAILURE() << "CreateProcess failed, error " << GetLastError();
    return ~0u;
  }
  if (WaitForSingleObject(process.get().hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get().hProcess, 1);
    return ~0u;
  }
  DWORD code = ~0u;
  GetExitCodeProcess(process.get().hProcess, &code);
  return code;
}

TEST(DelayLoadHooksTest, AFailureOnAThreadWithoutExitEndsTheProcessWithItsCodeAndLogLines) {
  struct Case {
    const char* name;
    const wchar_t* mode;
    const char* failureLine;
  };
  const Case cases[] = {
      {"DLL that exists nowhere", L"dll", "error:delay load failed, dll:qrn-absent.dll error code:126"},
      // A thread exit declared and let go no longer counts.
      {"function version.dll lacks, after a thread exit ended", L"function-after-exit",
       "error:delay load failed, dll:version.dll function:QrnAbsentFunctionProbe error code:127"},
  };
  for (const Case& c : cases) {
    test::TempDir logs;
    const DWORD code = RunProbe(logs.path().wstring(), c.mode);
    EXPECT_EQ(code, 3u) << c.name << ": 0x" << std::hex << code << " (100: the call returned, 0xC06D007E: "
                        << "the helper's exception)";
    const std::vector<std::string> lines = test::LogMessagesIn(logs.path());
    const std::vector<std::string> expected{c.failureLine, "error:delay load failed, the program ends with exit code 3"};
    EXPECT_EQ(lines, expected) << c.name << "\n" << test::LogTextIn(logs.path());
  }
}

}  // namespace
}  // namespace qrn
