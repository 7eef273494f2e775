// Named events, termination by name and running uninstallers, against the
// stand-in programs under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/ProcessControl.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(ProcessControlTest, NamedEventsAreOpenedNeverCreated) {
  const std::wstring name = L"QrnTestEvent-" + std::to_wstring(GetCurrentProcessId());
  EXPECT_FALSE(NamedEventExists(name));
  EXPECT_FALSE(SignalNamedEvent(name));
  EXPECT_FALSE(NamedEventExists(name)) << "signalling must not create the event";

  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name).c_str()));
  ASSERT_TRUE(event);
  EXPECT_TRUE(NamedEventExists(name));
  EXPECT_TRUE(SignalNamedEvent(name));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

// Two processes match the name, one of them in upper case: only the first
// in the snapshot is terminated.
TEST(ProcessControlTest, TerminatesOnlyTheFirstMatchIgnoringCase) {
  TempDir dir;
  const fs::path lower = dir / "a" / "qrntestvictim.exe";
  const fs::path upper = dir / "b" / "QRNTESTVICTIM.EXE";
  test::PlaceStandIn(L"TolvekStandIn.exe", lower);
  test::PlaceStandIn(L"TolvekStandIn.exe", upper);
  UniqueProcessInformation first, second;
  test::Launch(lower, L"--idle", &first);
  test::Launch(upper, L"--idle", &second);
  ASSERT_TRUE(first.get().hProcess != nullptr && second.get().hProcess != nullptr);

  EXPECT_TRUE(TerminateProcessByName(L"QrnTestVictim.exe"));
  HANDLE both[] = {first.get().hProcess, second.get().hProcess};
  const DWORD ended = WaitForMultipleObjects(2, both, FALSE, 10000);
  ASSERT_TRUE(ended == WAIT_OBJECT_0 || ended == WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForSingleObject(both[1 - (ended - WAIT_OBJECT_0)], 500), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the second process of that name must keep running";

  EXPECT_TRUE(TerminateProcessByName(L"qrntestvictim.exe"));
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(TerminateProcessByName(L"qrntestvictim.exe"));
}

TEST(ProcessControlTest, MissingUninstallerCountsAsDoneAndBrokenOneAsFailure) {
  TempDir dir;
  EXPECT_TRUE(WaitForUnist((dir / "none" / "Uninstall.exe").wstring()));
  const fs::path broken = dir / "Uninstall.exe";
  test::WriteBytes(broken, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'});
  EXPECT_FALSE(WaitForUnist(broken.wstring()));
}

// An uninstaller under a path with blanks runs with " -S"; a program
// planted at C:\Program.exe, which an unquoted command line would start
// instead, never runs.
TEST(ProcessControlTest, UninstallerRunsQuotedWithSilentSwitch) {
  const fs::path folder = L"C:\\Program Files\\Qrn Test Uninstaller";
  const fs::path uninstaller = folder / L"Uninstall.exe";
  const fs::path planted = L"C:\\Program.exe";
  test::PlaceStandIn(L"ArgsRecorder.exe", uninstaller);
  test::PlaceStandIn(L"ArgsRecorder.exe", planted);

  EXPECT_TRUE(WaitForUnist(uninstaller.wstring()));
  const std::wstring recorded = test::RecordedCommandLines(uninstaller);
  const std::wstring plantedRan = test::RecordedCommandLines(planted);

  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::remove(planted, ec);
  fs::remove(fs::path(planted).concat(L".log"), ec);

  EXPECT_EQ(recorded, L"\"" + uninstaller.wstring() + L"\" -S\n");
  EXPECT_EQ(plantedRan, L"");
}

}  // namespace
}  // namespace qrn
