// The install thread's runner when a system DLL or function cannot be
// loaded on the way: the thread ends as a failed installation (the log
// lines, installFailed for the window, exit code 0) and the process goes
// on. The imports are real delay-load imports that cannot be had
// (tests/system/AbsentImports.h), called from a sequence run by
// RunInstallThread on a thread started as the window starts it.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "engine/InstallThread.h"
#include "system/DelayLoadHooks.h"
#include "tests/support/LogCapture.h"
#include "tests/system/AbsentImports.h"

namespace qrn {
namespace {

std::atomic<bool> g_pastTheCall{false};

BOOL CallsIntoAnAbsentDll(InstallSettings& settings) {
  settings.progressTarget = 30;
  QrnAbsentDllProbe(1, 2);
  g_pastTheCall = true;
  return TRUE;
}

BOOL CallsAnAbsentFunction(InstallSettings& settings) {
  settings.progressTarget = 30;
  QrnAbsentFunctionProbe(1, 2);
  g_pastTheCall = true;
  return TRUE;
}

struct RunnerArgs {
  InstallSettings* settings;
  BOOL (*sequence)(InstallSettings&);
};

unsigned __stdcall RunnerThread(void* param) {
  const RunnerArgs& run = *static_cast<RunnerArgs*>(param);
  return RunInstallThread(*run.settings, run.sequence);
}

TEST(InstallThreadTest, AFailedDelayLoadFailsTheInstallationAndTheProcessGoesOn) {
  InstallDelayLoadHooks(1);
  struct Case {
    const char* name;
    BOOL (*sequence)(InstallSettings&);
    const char* failureLine;
  };
  const Case cases[] = {
      {"DLL that exists nowhere", CallsIntoAnAbsentDll, "error:delay load failed, dll:qrn-absent.dll error code:126"},
      {"function version.dll lacks", CallsAnAbsentFunction,
       "error:delay load failed, dll:version.dll function:QrnAbsentFunctionProbe error code:127"},
  };
  // Twice each: a failed load leaves nothing behind that changes the next.
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      test::LogCapture log;
      InstallSettings settings;
      settings.progressTarget = 10;
      g_pastTheCall = false;
      RunnerArgs run{&settings, c.sequence};
      UniqueHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunnerThread, &run, 0, nullptr)));
      ASSERT_TRUE(thread) << c.name;
      ASSERT_EQ(WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0) << c.name << ": the thread did not end";
      DWORD code = ~0u;
      ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
      EXPECT_EQ(code, 0u) << c.name;
      EXPECT_TRUE(settings.installFailed) << c.name << ": the window would not learn of the failure";
      EXPECT_EQ(settings.progressTarget, 30) << c.name;
      EXPECT_FALSE(g_pastTheCall) << c.name << ": the call returned";
      const std::vector<std::string> expected{"debug:ThreadExtract() in", c.failureLine,
                                              "error:ThreadExtract() failed, return FALSE"};
      EXPECT_EQ(log.Messages(), expected) << c.name << "\n" << log.Text();
    }
  }
}

}  // namespace
}  // namespace qrn
