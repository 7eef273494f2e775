// The whole install thread, without a window, in a real setup: the test
// program writes a copy of itself with a small payload appended and runs the
// copy, which starts ThreadExtract as the window would and reports
// progressTarget and installFailed in its exit code. The parent then looks
// at the files, the install record, the registry, the data folder and the log.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/Product.h"
#include "engine/InstallThread.h"
#include "engine/PreviousVersions.h"
#include "log/LogModule.h"
#include "report/Http2Server.h"
#include "system/SetupInfo.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr DWORD kFailedFlag = 1000;

// ---- the child: the program inside the setup -------------------------------

// --sequence <log folder> <install folder> <wow64 0|1>: runs the install
// thread as the window starts it; previousUninstallString comes from the
// registry as the window reads it.
int RunSequenceChild(const wchar_t* logFolder, const wchar_t* installFolder, bool wow64) {
  LogInit("Install", CStringToMultiByte(logFolder).get());
  SetIsWow64ForTesting(wow64 ? 1 : 0);
  // Nothing listens there: the report fails at once, on this machine.
  SetReportServerForTesting(L"127.0.0.1", 9);
  InstallSettings settings;
  settings.installFolder = installFolder;
  settings.previousUninstallString = GetUninstallString();
  settings.earlierProductUninstallString = GetEarlierUninstallString();
  settings.overwriteInstall = settings.previousUninstallString.empty() ? FALSE : TRUE;
  if (IsWow64() && !LoadSys64Fun()) return 2000;
  settings.progressShown = 0;
  settings.progressTarget = 10;
  settings.installFailed = FALSE;
  settings.installThread.reset(
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadExtract, &settings, 0, nullptr)));
  if (!settings.installThread) return 3000;
  WaitForSingleObject(settings.installThread.get(), INFINITE);
  LogUninit();
  return settings.progressTarget + (settings.installFailed ? kFailedFlag : 0);
}

// --remove <old uninstaller>: the removal stage alone.
int RunRemoveChild(const wchar_t* oldUninstaller) {
  InstallSettings settings;
  settings.previousUninstallString = oldUninstaller;
  return RemovePreviousVersions(settings) ? 0 : 1;
}

// ---- the parent ------------------------------------------------------------

std::vector<uint8_t> StandInBytes(const wchar_t* name) { return test::ReadBytes(test::StandIn(name)); }

std::string Text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Ansi(const fs::path& path) { return CStringToMultiByte(path.wstring()).get(); }

void DeleteKey(HKEY root, const std::wstring& key) {
  RegDeleteTreeW(root, key.c_str());
  UniqueHKey parent;
  const size_t slash = key.rfind(L'\\');
  if (slash == std::wstring::npos) {
    RegDeleteKeyExW(root, key.c_str(), KEY_WOW64_32KEY, 0);
    return;
  }
  if (RegOpenKeyExW(root, key.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, parent.put()) ==
      ERROR_SUCCESS) {
    RegDeleteTreeW(parent.get(), key.substr(slash + 1).c_str());
    RegDeleteKeyExW(parent.get(), key.substr(slash + 1).c_str(), KEY_WOW64_32KEY, 0);
  }
}

// Everything an installation leaves in the prefix's machine-wide state.
void CleanMachine() {
  const std::wstring entry = std::wstring(kUninstallParent) + L"\\" + kProductUninstallKey;
  DeleteKey(HKEY_LOCAL_MACHINE, entry);
  DeleteKey(HKEY_CURRENT_USER, entry);
  for (const wchar_t* key : {L".safe", L".qrn", L".iqrn", L"qrn_safe_file", L"qrnFile", L"iqrnFile"}) {
    DeleteKey(HKEY_CLASSES_ROOT, key);
  }
  std::error_code ec;
  fs::remove_all(GetAppDataDir(), ec);
}

// Waits up to 10 s for a program started through the shell to leave its trace.
std::wstring WaitForRecord(const fs::path& recorder) {
  for (int i = 0; i < 100; ++i) {
    std::wstring text = test::RecordedCommandLines(recorder);
    if (!text.empty()) return text;
    Sleep(100);
  }
  return std::wstring();
}

class InstallSequenceTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    CleanMachine();
    test::RemoveInstalledComponents();
    // A Windows user profile has the per-user Uninstall key; a new Wine
    // prefix does not.
    userUninstallExisted_ =
        RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, KEY_READ, UniqueHKey().put()) == ERROR_SUCCESS;
    UniqueHKey userUninstall;
    RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, userUninstall.put(),
                    nullptr);
    // Drivers and libraries are this build's under the names of both word
    // sizes: a prefix loads drivers of its own word size only (see
    // DriverStageTest, also for the placement under WoW64 below).
    const std::vector<uint8_t> veraCrypt = StandInBytes(L"drivers\\Velmdisk2" QRN_BUILD_SUFFIX L".sys");
    const std::vector<uint8_t> disk = StandInBytes(L"drivers\\Velmdisk" QRN_BUILD_SUFFIX L".sys");
    const std::vector<uint8_t> shellExt = StandInBytes(L"QRNShellExt" QRN_BUILD_SUFFIX L".dll");
    const std::vector<uint8_t> dragDrop = StandInBytes(L"QRNDragDrop" QRN_BUILD_SUFFIX L".dll");
    if (test::UnderWow64()) {
      // Wine's 32-bit driver host loads a 32-bit process's driver services
      // from SysWOW64\drivers; the installer writes the native folder.
      EXPECT_TRUE(test::PlaceDriversForWow64Host(veraCrypt, disk));
    }
    test::WriteSelfSetup(setup_, {
                                     {"sys\\64\\Velmdisk2-x64.sys", veraCrypt},
                                     {"sys\\64\\Velmdisk-x64.sys", disk},
                                     {"sys\\32\\Velmdisk2.sys", veraCrypt},
                                     {"sys\\32\\Velmdisk.sys", disk},
                                     {"main\\Program\\QRNProtectService.exe", StandInBytes(L"QRNProtectService.exe")},
                                     {"main\\Program\\QRNShellExt-x64.dll", shellExt},
                                     {"main\\Program\\QRNDragDrop-x64.dll", dragDrop},
                                     {"main\\Program\\QRNShellExt.dll", shellExt},
                                     {"main\\Program\\QRNDragDrop.dll", dragDrop},
                                     {"main\\Program\\QRN.exe", StandInBytes(L"ArgsRecorder.exe")},
                                     {"main\\Program\\QRNService.exe", StandInBytes(L"ArgsRecorder.exe")},
                                     {"main\\Program\\Uninstall.exe", StandInBytes(L"ArgsRecorder.exe")},
                                     {"main\\Program\\readme.txt", {'h', 'i'}},
                                     {"main\\Program\\UserList.db", {'n', 'e', 'w'}},
                                     {"main\\Program\\msvcr100.dll", {'d', 'l', 'l'}},
                                 });
  }
  void TearDown() override {
    // Services first: the protection service runs from the install folder.
    test::RemoveInstalledComponents();
    CleanMachine();
    if (!userUninstallExisted_) RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallParent);
  }

  DWORD Install() {
    const std::wstring args =
        L"--sequence \"" + logs_.path().wstring() + L"\" \"" + folder_.wstring() + L"\" " + (GetParam() ? L"1" : L"0");
    return test::RunAndWait(setup_, args, 120000);
  }
  std::string Log() const {
    std::string text;
    for (const auto& f : fs::directory_iterator(logs_.path())) text += Text(f.path());
    return text;
  }

  bool userUninstallExisted_ = false;
  TempDir dir_;
  TempDir logs_;
  fs::path setup_ = dir_ / "setup" / "QuorrinSetup.exe";
  fs::path folder_ = dir_ / "Program Files" / "Quorrin";
};

TEST_P(InstallSequenceTest, FreshInstallationThenOverwrite) {
#if !defined(_WIN64)
  // The 32-bit build answers for real (the 64-bit one stands in for both).
  if (GetParam() != test::UnderWow64()) {
    GTEST_SKIP() << "the 32-bit build runs this row in the " << (GetParam() ? "64" : "32") << "-bit prefix";
  }
#endif
  ASSERT_EQ(Install(), 100u) << Log();

  // Files and the install record (runtime DLL written, not recorded; the
  // user-data name recorded, never written).
  EXPECT_EQ(Text(folder_ / "readme.txt"), "hi");
  EXPECT_TRUE(fs::exists(folder_ / "msvcr100.dll"));
  EXPECT_FALSE(fs::exists(folder_ / "UserList.db"));
  // The drivers of this word size are recorded where they went.
  const fs::path drivers = GetDriversDir();
  std::string record;
  for (const fs::path& file : {drivers / (GetParam() ? L"Velmdisk2-x64.sys" : L"Velmdisk2.sys"),
                               drivers / (GetParam() ? L"Velmdisk-x64.sys" : L"Velmdisk.sys")}) {
    record += Ansi(file) + "\n";
  }
  for (const char* name :
       {"QRNProtectService.exe", "QRNShellExt-x64.dll", "QRNDragDrop-x64.dll", "QRNShellExt.dll", "QRNDragDrop.dll",
        "QRN.exe", "QRNService.exe", "Uninstall.exe", "readme.txt", "UserList.db"}) {
    record += Ansi(folder_ / name) + "\n";
  }
  EXPECT_EQ(Text(folder_ / "InstallInfo.db"), record);

  // Drivers loaded (the version read by another process), the protection
  // service running from a quoted path, the libraries registered, the
  // shortcuts written.
  EXPECT_EQ(test::QueryDevice(L"\\\\.\\VeraCrypt", 0x222004).version, 0x0119u);
  EXPECT_EQ(test::QueryDevice(L"\\\\.\\Velmdisk", 0x222004).openError, 0u);
  const wchar_t protectService[] = L"Quorrin软件版保险箱文件保护服务";
  EXPECT_TRUE(test::WaitForServiceState(protectService, SERVICE_RUNNING, 10000));
  EXPECT_EQ(test::ReadStoredService(protectService).imagePath,
            L"\"" + (folder_ / "QRNProtectService.exe").wstring() + L"\"");
  const std::wstring suffix = GetParam() ? L"-x64" : L"";
  EXPECT_TRUE(test::WaitForInprocServer(test::kShellExtClsid, (folder_ / (L"QRNShellExt" + suffix + L".dll")).wstring(),
                                        30000));
  EXPECT_TRUE(test::WaitForInprocServer(test::kDragDropClsid, (folder_ / (L"QRNDragDrop" + suffix + L".dll")).wstring(),
                                        30000));
  EXPECT_EQ(test::ReadShellLink(test::UserDesktop() / L"Quorrin软件版.lnk").target, (folder_ / "QRN.exe").wstring());
  EXPECT_TRUE(test::ReadShellLink(test::UserPrograms() / L"Quorrin软件版" / L"加密助手" / L"文件彻底粉碎.lnk").loaded);

  // The uninstall entry points at the new installation; the data folder exists.
  EXPECT_EQ(GetUninstallString(), (folder_ / "Uninstall.exe").wstring());
  EXPECT_TRUE(fs::is_directory(GetAppDataDir()));

  // The service program's first run.
  EXPECT_EQ(WaitForRecord(folder_ / "QRNService.exe"), L"\"" + (folder_ / "QRNService.exe").wstring() + L"\" -init\n");

  // Every stage, in order.
  const std::string log = Log();
  size_t at = 0;
  for (const char* stage :
       {"ThreadExtract() in", "running to DisableWow64Redirection()", "running to WaitForUnist()",
        "running to ExtractArchiveSetup()", "running to InstallDriver()", "running to EnableWow64Redirection()",
        "running to CreateAppDataDirectory()", "running to SetReg()", "running to AfterSetup()", "running to RegDll()",
        "running to SendInstallInfo()", "running to OverSetup()", "ThreadExtract() out"}) {
    const size_t found = log.find(std::string("$debug:") + stage + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << stage << " missing or out of order in:\n" << log;
    at = found;
  }
  for (const char* failure :
       {"ExtractArchiveSetup() failed", "InstallDriver() failed", "CreateAppDataDirectory() failed",
        "SetRegSetup() failed", "ThreadExtract() failed", "Run QRNService.exe failed"}) {
    EXPECT_EQ(log.find(failure), std::string::npos) << log;
  }

  // A second run finds the uninstall entry: the old uninstaller (in a folder
  // named exactly Quorrin) runs silently, then the installation goes on.
  const fs::path user = folder_ / "UserList.db";
  test::WriteBytes(user, {'m', 'i', 'n', 'e'});
  ASSERT_EQ(Install(), 100u) << Log();
  EXPECT_NE(test::RecordedCommandLines(folder_ / "Uninstall.exe")
                .find(L"\"" + (folder_ / "Uninstall.exe").wstring() + L"\" -S\n"),
            std::wstring::npos);
  EXPECT_EQ(Text(user), "mine") << "user data is never overwritten";
}

INSTANTIATE_TEST_SUITE_P(Engine, InstallSequenceTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "OnWow64" : "On32BitWindows";
                         });

// An old installation in a folder not named exactly "Quorrin": its
// uninstaller is replaced by the payload's, which then runs.
TEST(RemovalInSetupTest, OldUninstallerElsewhereIsReplacedByThePayloadsOne) {
  TempDir dir;
  const fs::path setup = dir / "setup" / "QuorrinSetup.exe";
  const std::vector<uint8_t> recorder = StandInBytes(L"ArgsRecorder.exe");
  test::WriteSelfSetup(setup, {{"main\\Program\\Uninstall.exe", recorder}});
  const fs::path old = dir / "quorrin" / "Uninstall.exe";
  fs::create_directories(old.parent_path());
  test::WriteBytes(old, {'o', 'l', 'd'});

  EXPECT_EQ(test::RunAndWait(setup, L"--remove \"" + old.wstring() + L"\"", 60000), 0u);
  EXPECT_EQ(test::ReadBytes(old), recorder);
  EXPECT_EQ(test::RecordedCommandLines(old), L"\"" + old.wstring() + L"\" -S\n");
}

// This product's old uninstaller cannot be started: nothing is extracted and
// the installation fails with progressTarget where it stood.
TEST(RemovalInSetupTest, UnstartableOldUninstallerFailsBeforeExtraction) {
  CleanMachine();
  TempDir dir, logs;
  const fs::path setup = dir / "setup" / "QuorrinSetup.exe";
  test::WriteSelfSetup(setup, {{"main\\Program\\readme.txt", {'h', 'i'}}});
  const fs::path folder = dir / "Quorrin";
  fs::create_directories(folder);
  test::WriteBytes(folder / "Uninstall.exe", {'M', 'Z'});
  {
    UniqueHKey entry;
    const std::wstring key = std::wstring(kUninstallParent) + L"\\" + kProductUninstallKey;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                              entry.put(), nullptr),
              ERROR_SUCCESS);
    const std::wstring path = (folder / "Uninstall.exe").wstring();
    RegSetValueExW(entry.get(), L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  const DWORD result =
      test::RunAndWait(setup, L"--sequence \"" + logs.path().wstring() + L"\" \"" + folder.wstring() + L"\" 0", 60000);
  CleanMachine();
  EXPECT_EQ(result, kFailedFlag + 10);
  EXPECT_FALSE(fs::exists(folder / "readme.txt"));
}

}  // namespace
}  // namespace qrn

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wcscmp(argv[1], L"--sequence") == 0) {
    return qrn::RunSequenceChild(argv[2], argv[3], std::wcscmp(argv[4], L"1") == 0);
  }
  if (argc == 3 && std::wcscmp(argv[1], L"--remove") == 0) return qrn::RunRemoveChild(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
