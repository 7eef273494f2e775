// Removal of earlier versions against stand-ins of the earlier product and
// of old uninstallers, under Wine. The case where the payload's uninstaller
// replaces an old one needs a setup around the test and is part of the
// install-sequence test.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/PreviousVersions.h"
#include "tests/support/LogCapture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class PreviousVersionsTest : public ::testing::Test {
 protected:
  // The earlier product: its UI program (quits when asked unless told
  // otherwise), its service program and its uninstaller.
  void StartEarlierProduct(const wchar_t* uiArguments) {
    const fs::path ui = dir_ / "Tolvek" / "Tolvek.exe";
    const fs::path service = dir_ / "Tolvek" / "TolvekService.exe";
    test::PlaceStandIn(L"TolvekStandIn.exe", ui);
    test::PlaceStandIn(L"TolvekStandIn.exe", service);
    test::PlaceStandIn(L"ArgsRecorder.exe", earlierUninstaller_);
    test::Launch(ui, uiArguments, &ui_);
    test::Launch(service, L"--idle", &service_);
    ASSERT_TRUE(ui_.get().hProcess != nullptr && service_.get().hProcess != nullptr);
    // The UI is up once its event exists.
    for (int i = 0; i < 100; ++i) {
      UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, L"Local\\MV_TOLVEK_UI_EVENT"));
      if (event) return;
      Sleep(50);
    }
    FAIL() << "the earlier product's stand-in did not start";
  }
  void TearDown() override {
    for (UniqueProcessInformation* p : {&ui_, &service_}) {
      if (p->get().hProcess != nullptr) TerminateProcess(p->get().hProcess, 0);
    }
  }
  bool Ended(const UniqueProcessInformation& p, DWORD ms = 5000) {
    return WaitForSingleObject(p.get().hProcess, ms) == WAIT_OBJECT_0;
  }
  static std::wstring Quoted(const fs::path& p) { return L"\"" + p.wstring() + L"\" -S\n"; }

  TempDir dir_;
  fs::path earlierUninstaller_ = dir_ / "Tolvek" / "uninst.exe";
  UniqueProcessInformation ui_, service_;
};

TEST_F(PreviousVersionsTest, NothingRegisteredDoesNothing) {
  InstallSettings settings;
  EXPECT_TRUE(RemovePreviousVersions(settings));
  EXPECT_EQ(settings.statusLine.Get(), L"");
}

TEST_F(PreviousVersionsTest, EarlierProductIsAskedToQuitThenRemoved) {
  StartEarlierProduct(L"");
  InstallSettings settings;
  settings.earlierProductUninstallString = earlierUninstaller_.wstring();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RemovePreviousVersions(settings));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(Ended(ui_)) << "the UI quits when asked";
  EXPECT_TRUE(Ended(service_)) << "the service program is terminated";
  EXPECT_EQ(test::RecordedCommandLines(earlierUninstaller_), Quoted(earlierUninstaller_));
  EXPECT_EQ(settings.statusLine.Get(), L"正在卸载旧版本...");
}

// The UI never drops its event: 200 checks 100 ms apart, then both
// processes are terminated anyway.
TEST_F(PreviousVersionsTest, EarlierProductThatNeverQuitsIsTerminatedAfterTwentySeconds) {
  StartEarlierProduct(L"--never-quit");
  InstallSettings settings;
  settings.earlierProductUninstallString = earlierUninstaller_.wstring();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RemovePreviousVersions(settings));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::seconds(19));
  EXPECT_LT(waited, std::chrono::seconds(40));
  EXPECT_TRUE(Ended(ui_));
  EXPECT_TRUE(Ended(service_));
  EXPECT_EQ(test::RecordedCommandLines(earlierUninstaller_), Quoted(earlierUninstaller_));
}

TEST_F(PreviousVersionsTest, OldUninstallerInQuorrinFolderRunsItself) {
  const fs::path old = dir_ / "Quorrin" / "Uninstall.exe";
  test::PlaceStandIn(L"ArgsRecorder.exe", old);
  InstallSettings settings;
  settings.previousUninstallString = old.wstring();
  EXPECT_TRUE(RemovePreviousVersions(settings));
  EXPECT_EQ(test::RecordedCommandLines(old), Quoted(old));
}

TEST_F(PreviousVersionsTest, MissingUninstallerCountsAsRemoved) {
  test::LogCapture log;
  InstallSettings settings;
  settings.previousUninstallString = (dir_ / "Quorrin" / "Uninstall.exe").wstring();
  settings.earlierProductUninstallString = earlierUninstaller_.wstring();
  EXPECT_TRUE(RemovePreviousVersions(settings));
  EXPECT_TRUE(log.Contains("$error:WaitForUnist FindFile() failed, error code:")) << log.Text();
}

TEST_F(PreviousVersionsTest, OldUninstallerThatCannotStartFailsTheStage) {
  test::LogCapture log;
  const fs::path old = dir_ / "Quorrin" / "Uninstall.exe";
  fs::create_directories(old.parent_path());
  test::WriteBytes(old, {'M', 'Z', 0, 0});
  InstallSettings settings;
  settings.previousUninstallString = old.wstring();
  EXPECT_FALSE(RemovePreviousVersions(settings));
  EXPECT_TRUE(log.Contains("$error:CreateProcess() failed, error code:"));
  EXPECT_TRUE(log.Contains("$error:WaitForUnist() failed\r\n"));
}

}  // namespace
}  // namespace qrn
