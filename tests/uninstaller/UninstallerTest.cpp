// The real Uninstall.exe, run as its own process as a user or the installer
// runs it, over state the engine's own stages made. Catches: anything of
// the product left behind (services, drivers, registrations, file types,
// uninstall entry, marker, shortcuts, files, folders, its own file), user
// data or the data folder removed, a run beside a setup or a "No" that
// changes anything, a damaged or hostile record that crashes it or deletes
// outside the product, and a self-removal that later deletes the new
// Uninstall.exe the installer writes at the same path.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "base/Product.h"
#include "engine/ComponentRegistration.h"
#include "engine/DriverStage.h"
#include "engine/InstallSettings.h"
#include "engine/Registry.h"
#include "engine/Shortcuts.h"
#include "payload/ExtractArchive.h"
#include "system/SetupInfo.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"
#include "tools/ui-driver/UiDriver.h"
#include "uninstaller/Uninstaller.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kRunTimeoutMs = 120000;
constexpr wchar_t kPendingKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kSystemTestFile[] = L"QrnUninstallerTest.dll";

// build/<arch>/tests/uninstaller/<test>.exe -> build/<arch>/uninstaller/Uninstall.exe
fs::path UninstallerBuild() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path().parent_path().parent_path() / L"uninstaller" / L"Uninstall.exe";
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// Runs `commandLine` as the installer runs an uninstaller (no application
// name, so an unquoted path with blanks is taken apart as Windows does)
// and waits. The exit code, or 0xFFFFFFFF when it did not start or end.
DWORD RunCommand(const std::wstring& commandLine) {
  std::wstring command = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, process.put())) {
    return 0xFFFFFFFF;
  }
  if (WaitForSingleObject(process.get().hProcess, kRunTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get().hProcess, 99);
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.get().hProcess, &code);
  return code;
}

std::vector<wchar_t> ReadPendingRenames() {
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPendingKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
  DWORD bytes = 0;
  if (RegQueryValueExW(key.get(), kPendingValue, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return {};
  std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1);
  RegQueryValueExW(key.get(), kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &bytes);
  value.resize(bytes / sizeof(wchar_t));
  return value;
}

// The uninstaller may leave its renamed file for the next start of Windows,
// which a test prefix never sees. The fixture deletes such files itself and
// puts the list of pending renames back as it found it.
class PendingRenames {
 public:
  PendingRenames() : before_(ReadPendingRenames()) {}
  ~PendingRenames() {
    for (const std::wstring& added : AddedPaths()) {
      std::wstring path = added;
      if (path.rfind(L"\\??\\", 0) == 0) path.erase(0, 4);
      test::RemoveFileWithRetry(path);
    }
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPendingKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    if (before_.empty()) {
      RegDeleteValueW(key.get(), kPendingValue);
    } else {
      RegSetValueExW(key.get(), kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(before_.data()),
                     static_cast<DWORD>(before_.size() * sizeof(wchar_t)));
    }
  }
  // Every path named by a rename added since (sources and targets).
  std::vector<std::wstring> AddedPaths() const {
    const std::vector<wchar_t> now = ReadPendingRenames();
    std::vector<std::wstring> paths;
    size_t start = before_.empty() ? 0 : before_.size() - 1;  // past the old list's final NUL
    for (size_t i = start; i < now.size(); ++i) {
      if (now[i] == L'\0') continue;
      std::wstring text(&now[i]);
      paths.push_back(text);
      i += text.size();
    }
    return paths;
  }

 private:
  std::vector<wchar_t> before_;
};

// The uninstaller's log of today, read from where it was when the test began.
class UninstallLog {
 public:
  UninstallLog() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t name[64];
    swprintf(name, 64, L"Uninstall%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
    dataFolder_ = GetAppDataDir();
    path_ = dataFolder_ / L"log" / name;
    dataFolderExisted_ = Exists(dataFolder_);
    logFolderExisted_ = Exists(path_.parent_path());
    existed_ = Exists(path_);
    start_ = test::ReadText(path_).size();
  }
  ~UninstallLog() {
    std::error_code ec;
    if (!existed_) fs::remove(path_, ec);
    // Folders this test's runs made go again, when nothing else is in them.
    if (!logFolderExisted_) fs::remove(path_.parent_path(), ec);
    if (!dataFolderExisted_) fs::remove(dataFolder_, ec);
  }
  std::string Text() const { return test::ReadText(path_).substr(std::min(start_, test::ReadText(path_).size())); }

 private:
  fs::path dataFolder_;
  fs::path path_;
  bool dataFolderExisted_ = false;
  bool logFolderExisted_ = false;
  bool existed_ = false;
  size_t start_ = 0;
};

bool KeyExists(HKEY root, const std::wstring& path) {
  UniqueHKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) == ERROR_SUCCESS;
}

void DeleteKey(HKEY root, const std::wstring& path) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, key.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(key.get(), nullptr);
  key.reset();
  RegDeleteKeyExW(root, path.c_str(), KEY_WOW64_32KEY, 0);
}

const wchar_t* const kProductKeys[] = {L".safe", L"qrn_safe_file", L".qrn", L"qrnFile", L".iqrn", L"iqrnFile"};

class UninstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN64)
    // The 64-bit test stands in for the 32-bit installer on 64-bit Windows,
    // as the 64-bit Uninstall.exe does for the uninstaller. The 32-bit build
    // answers for real, as its Uninstall.exe does.
    SetIsWow64ForTesting(1);
#endif
    test::RemoveInstalledComponents();
    RemoveProductKeys();
    // The per-user marker goes under the user's Uninstall key, which the
    // installer does not create and a fresh prefix does not have.
    userParentExisted_ = KeyExists(HKEY_CURRENT_USER, kUninstallParent);
    UniqueHKey parent;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, parent.put(), nullptr));
    folder_ = dir_ / "Program Files" / "Quorrin";
    fs::create_directories(folder_);
    settings_.installFolder = folder_.wstring();
  }
  void TearDown() override {
    product_.Kill();
    test::RemoveInstalledComponents();
    RemoveProductKeys();
    test::RemoveFileWithRetry(fs::path(GetSystemX86Dir()) / kSystemTestFile);
    if (!userParentExisted_) DeleteKey(HKEY_CURRENT_USER, kUninstallParent);
    SetIsWow64ForTesting(-1);
  }
  static void RemoveProductKeys() {
    for (const wchar_t* key : kProductKeys) DeleteKey(HKEY_CLASSES_ROOT, key);
    DeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    DeleteKey(HKEY_CURRENT_USER, kUninstallKey);
  }

  // The installer's file-name suffix for the Windows this runs on.
  static std::wstring DriverSuffix() { return IsWow64() ? L"-x64" : L""; }

  // A whole installation made by the installer's own stages from a payload
  // of this build's stand-ins: files, drivers and protection service,
  // registry, shell extensions, shortcuts.
  void InstallWithStages() {
    const fs::path setup = dir_ / "setup" / "QuorrinSetup.exe";
    // The installer's names for the Windows this runs on, this build's stand-ins.
    const bool wow64 = IsWow64() != FALSE;
    const std::string sys = wow64 ? "sys\\64\\" : "sys\\32\\";
    const std::string suffix = wow64 ? "-x64" : "";
    const std::wstring wideSuffix = DriverSuffix();
    const std::vector<uint8_t> veraCrypt =
        test::ReadBytes(test::StandIn(L"drivers\\Velmdisk2" QRN_BUILD_SUFFIX L".sys"));
    const std::vector<uint8_t> disk = test::ReadBytes(test::StandIn(L"drivers\\Velmdisk" QRN_BUILD_SUFFIX L".sys"));
    test::WriteSelfSetup(
        setup, {
                   {sys + "Velmdisk2" + suffix + ".sys", veraCrypt},
                   {sys + "Velmdisk" + suffix + ".sys", disk},
                   {"main\\Program\\QRNProtectService.exe", test::ReadBytes(test::StandIn(L"QRNProtectService.exe"))},
                   {"main\\Program\\QRNShellExt" + suffix + ".dll",
                    test::ReadBytes(test::StandIn(L"QRNShellExt" QRN_BUILD_SUFFIX L".dll"))},
                   {"main\\Program\\QRNDragDrop" + suffix + ".dll",
                    test::ReadBytes(test::StandIn(L"QRNDragDrop" QRN_BUILD_SUFFIX L".dll"))},
                   {"main\\Program\\QRN.exe", test::ReadBytes(test::StandIn(L"TolvekStandIn.exe"))},
                   {"main\\Program\\help\\QRN_help.html", Bytes("<html>help</html>")},
                   {"main\\Program\\UserList.db", Bytes("payload's list, never written")},
                   {"main\\System32\\QrnUninstallerTest.dll", Bytes("system folder file")},
                   {"main\\Program\\Uninstall.exe", test::ReadBytes(UninstallerBuild())},
               });
    // A 32-bit process on 64-bit Windows: the drivers go to the native folder
    // with redirection off, as the install thread writes them; Wine's 32-bit
    // driver host loads them from SysWOW64\\drivers (see DriverStageTest).
    const bool redirected = test::UnderWow64();
    PVOID redirection = nullptr;
    if (redirected) {
      EXPECT_TRUE(test::PlaceDriversForWow64Host(veraCrypt, disk));
      ASSERT_TRUE(LoadSys64Fun());
      ASSERT_TRUE(DisableWow64Redirection(&redirection));
    }
    const bool extracted = ExtractArchiveSetup(settings_, setup.wstring()) != FALSE;
    const bool driversInstalled = extracted && InstallDriver(settings_) != FALSE;
    if (redirected) {
      EXPECT_TRUE(EnableWow64Redirection(redirection));
      FreeSys64Fun();
    }
    ASSERT_TRUE(extracted);
    ASSERT_TRUE(driversInstalled);
    ASSERT_TRUE(SetRegSetup(settings_.installFolder));
    RegDll(settings_.installFolder);
    ASSERT_TRUE(test::WaitForInprocServer(test::kShellExtClsid,
                                          (folder_ / (L"QRNShellExt" + wideSuffix + L".dll")).wstring(), 30000));
    ASSERT_TRUE(test::WaitForInprocServer(test::kDragDropClsid,
                                          (folder_ / (L"QRNDragDrop" + wideSuffix + L".dll")).wstring(), 30000));
    OverSetup(settings_);
  }

  fs::path Uninstaller() const { return folder_ / L"Uninstall.exe"; }
  void PlaceUninstaller() const {
    fs::copy_file(UninstallerBuild(), Uninstaller(), fs::copy_options::overwrite_existing);
  }
  // The record as the extraction pass writes it: ANSI paths, one line feed each.
  void WriteRecord(const std::string& bytes) const { test::WriteBytes(folder_ / L"InstallInfo.db", Bytes(bytes)); }
  std::string Line(const fs::path& path) const { return path.string() + "\n"; }

  test::TempDir dir_;
  fs::path folder_;
  InstallSettings settings_;
  ui::Program product_;
  bool userParentExisted_ = true;
  PendingRenames pending_;
  UninstallLog log_;
};

// The log's first line names the command line. Wine hands a program whose
// unquoted path it had to take apart a command line with the path quoted;
// Windows passes it as given. Either way the path and " -S" are there.
void ExpectStartedSilently(const std::string& log, const fs::path& uninstaller) {
  const size_t start = log.find("started, command line:");
  ASSERT_NE(std::string::npos, start) << log;
  const std::string line = log.substr(start, log.find("\r\n", start) - start);
  EXPECT_NE(std::string::npos, line.find(uninstaller.string())) << line;
  EXPECT_EQ(" -S", line.substr(line.size() - 3)) << line;
}

// A whole installation made by the installer's own stages from a payload,
// with the product running, then "Uninstall.exe -S": everything of the
// product is gone but the user's data file and the data folder.
TEST_F(UninstallerTest, SilentRunRemovesEverythingButTheUsersData) {
  const std::vector<uint8_t> userData = Bytes("the user's own list");
  test::WriteBytes(folder_ / L"UserList.db", userData);
  const fs::path dataFile = fs::path(GetAppDataDir()) / L"UninstallerTest.dat";
  fs::create_directories(dataFile.parent_path());
  test::WriteBytes(dataFile, userData);
  ASSERT_NO_FATAL_FAILURE(InstallWithStages());
  const std::wstring wideSuffix = DriverSuffix();
  std::string error;
  product_ = ui::Program::Start((folder_ / L"QRN.exe").wstring(), L"--idle", &error);
  ASSERT_TRUE(product_) << error;
  ASSERT_TRUE(Exists(test::UserPrograms() / L"Quorrin软件版" / L"加密助手" / L"文件彻底粉碎.lnk"));
  ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  EXPECT_EQ(0u, RunCommand(Uninstaller().wstring() + L" -S"));

  DWORD productExit = 0;
  EXPECT_TRUE(product_.WaitForExit(5000, &productExit)) << "the running product was not ended";
  for (const wchar_t* service : {kProtectServiceName, kVeraCryptService, kVirtualDiskService}) {
    EXPECT_FALSE(test::ServiceExists(service)) << CStringToMultiByte(service).get();
  }
  // Where the installer wrote the drivers (the native folder under WoW64,
  // seen here through its Sysnative alias).
  const fs::path drivers = test::NativeDriversFolder();
  for (const std::wstring& driver : {L"Velmdisk2" + wideSuffix + L".sys", L"Velmdisk" + wideSuffix + L".sys"}) {
    EXPECT_FALSE(Exists(drivers / driver)) << fs::path(driver).string();
  }
  EXPECT_FALSE(Exists(fs::path(GetSystemX86Dir()) / kSystemTestFile));
  EXPECT_EQ(L"", test::ReadInprocServer(test::kShellExtClsid));
  EXPECT_EQ(L"", test::ReadInprocServer(test::kDragDropClsid));
  for (const wchar_t* key : kProductKeys) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << fs::path(key).string();
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(Exists(test::UserDesktop() / L"Quorrin软件版.lnk"));
  EXPECT_FALSE(Exists(test::UserPrograms() / L"Quorrin软件版"));

  // Left in the install folder: the user's data, with its bytes, and the
  // log the stand-in protection service keeps beside itself (no file of
  // the record). The uninstaller, its record and the help folder are gone.
  std::vector<std::wstring> left;
  for (const auto& entry : fs::directory_iterator(folder_)) left.push_back(entry.path().filename().wstring());
  std::sort(left.begin(), left.end());
  EXPECT_EQ((std::vector<std::wstring>{L"QRNProtectService.log", L"UserList.db"}), left);
  EXPECT_EQ(userData, test::ReadBytes(folder_ / L"UserList.db"));
  EXPECT_EQ(userData, test::ReadBytes(dataFile)) << "the data folder was touched";
  std::error_code ec;
  fs::remove(dataFile, ec);

  const std::string log = log_.Text();
  ExpectStartedSilently(log, Uninstaller());
  EXPECT_NE(std::string::npos, log.find("uninstallation complete")) << log;
}

// A driver that does not stop (the disk-encryption driver refuses the stop
// request, as one holding a mounted volume does): its service stays
// registered as it was, not marked for deletion, and its file stays with
// it, so that it loads again at the next start of Windows; the run reports
// itself incomplete. The rest goes as usual, the virtual-disk driver
// included.
TEST_F(UninstallerTest, ADriverThatDoesNotStopKeepsItsServiceAndFile) {
  ASSERT_NO_FATAL_FAILURE(InstallWithStages());
  // Where the installer wrote the drivers (see the test above).
  const fs::path veraCrypt = test::NativeDriversFolder() / (L"Velmdisk2" + DriverSuffix() + L".sys");
  const fs::path disk = test::NativeDriversFolder() / (L"Velmdisk" + DriverSuffix() + L".sys");
  const test::StoredService before = test::ReadStoredService(kVeraCryptService);
  ASSERT_TRUE(before.found);
  {
    test::RefusedStops refused({kVeraCryptService});
    ASSERT_TRUE(refused.refused());

    EXPECT_EQ(static_cast<DWORD>(kUninstallIncomplete), RunCommand(Uninstaller().wstring() + L" -S"));

    const test::StoredService after = test::ReadStoredService(kVeraCryptService);
    EXPECT_TRUE(after.found) << "the service of a driver still loaded was deleted";
    EXPECT_FALSE(test::MarkedForDeletion(kVeraCryptService)) << "the service of a driver still loaded was deleted";
    EXPECT_EQ(before.type, after.type);
    EXPECT_EQ(before.start, after.start);
    EXPECT_EQ(before.imagePath, after.imagePath);
    EXPECT_TRUE(Exists(veraCrypt)) << "the file of a driver left registered was deleted";
    EXPECT_EQ(0u, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).openError);
  }
  EXPECT_FALSE(test::ServiceExists(kVirtualDiskService));
  EXPECT_FALSE(Exists(disk));
  EXPECT_FALSE(test::ServiceExists(kProtectServiceName));
  EXPECT_FALSE(Exists(Uninstaller()));
  const std::string log = log_.Text();
  EXPECT_NE(std::string::npos, log.find("driver still loaded, its service is left registered:VeraCrypt")) << log;
  EXPECT_NE(std::string::npos, log.find("uninstallation incomplete")) << log;
}

// The uninstaller's own file goes, and with it the install folder, while
// the record it was given is damaged or hostile: it never crashes, never
// deletes outside the product's folders or a line it cannot trust.
TEST_F(UninstallerTest, ADamagedOrHostileRecordDeletesNothingOutside) {
  const fs::path victim = dir_ / "victim.txt";
  const fs::path program = folder_ / "QRN.exe";
  const fs::path cutOff = folder_ / "QRN";  // what a record cut off in "QRN.exe" names
  const std::string overlong = folder_.string() + "\\" + std::string(700, 'a') + "\n";
  const struct {
    const char* name;
    bool writeRecord;
    std::string record;
    DWORD exitCode;
    bool folderGone;  // nothing but the uninstaller and its record was there
  } cases[] = {
      {"missing record", false, "", 2, true},
      {"empty record", true, "", 0, true},
      {"hostile lines", true,
       Line(victim) + folder_.string() + "\\..\\..\\victim.txt\n" + folder_.string() + "/../../victim.txt\n" +
           overlong + "victim.txt\n" + std::string("\0\n", 2) + Line(program) + cutOff.string(),
       2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(folder_);
    test::WriteBytes(victim, Bytes("not the product's"));
    if (!c.folderGone) {
      test::WriteBytes(program, Bytes("program"));
      test::WriteBytes(cutOff, Bytes("a file the cut-off line names"));
    }
    PlaceUninstaller();
    if (c.writeRecord) WriteRecord(c.record);

    EXPECT_EQ(c.exitCode, RunCommand(L"\"" + Uninstaller().wstring() + L"\" -S"));

    EXPECT_EQ(test::ReadBytes(victim), Bytes("not the product's"));
    EXPECT_FALSE(Exists(Uninstaller()));
    EXPECT_FALSE(Exists(folder_ / L"InstallInfo.db"));
    EXPECT_EQ(c.folderGone, !Exists(folder_));
    if (!c.folderGone) {
      EXPECT_FALSE(Exists(program));
      EXPECT_TRUE(Exists(cutOff));
      std::error_code ec;
      fs::remove_all(folder_, ec);
    }
  }
}

// Run by hand beside a running setup, or answered "No": a box, exit code 1,
// and nothing changed. Without -S the uninstaller asks first.
TEST_F(UninstallerTest, RefusedOrCancelledChangesNothing) {
  const struct {
    const char* name;
    bool holdLock;
    const wchar_t* text;
    int button;
  } cases[] = {
      {"beside a running setup", true, L"安装或卸载程序已经在运行！", IDOK},
      {"answered no", false, L"确定要卸载Quorrin吗？", IDNO},
  };
  const fs::path program = folder_ / "QRN.exe";
  test::WriteBytes(program, Bytes("program"));
  PlaceUninstaller();
  WriteRecord(Line(program));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UniqueHandle lock;
    if (c.holdLock) lock.reset(CreateMutexW(nullptr, TRUE, kInstallMutexName));
    std::string error;
    ui::Program run = ui::Program::Start(Uninstaller().wstring(), L"", &error);
    ASSERT_TRUE(run) << error;
    const HWND box = ui::WaitForWindow(run.pid(), L"Quorrin", 30000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(c.text, ui::MessageBoxText(box));
    EXPECT_TRUE(ui::PressButton(box, c.button));
    DWORD code = 0;
    ASSERT_TRUE(run.WaitForExit(30000, &code));
    EXPECT_EQ(static_cast<DWORD>(kUninstallRefused), code);
    EXPECT_TRUE(Exists(program));
    EXPECT_TRUE(Exists(Uninstaller()));
    EXPECT_TRUE(Exists(folder_ / L"InstallInfo.db"));
  }
}

// As the installer runs an earlier installation's uninstaller: it holds the
// single-instance lock, writes the new Uninstall.exe over the old one, runs
// it as "<path> -S" (not quoted) and waits, then extracts the new product,
// a new Uninstall.exe included, into the same folder. The old record names
// a file already gone and one another program holds open. The run must
// complete, and nothing may later remove the new Uninstall.exe.
TEST_F(UninstallerTest, RunByTheInstallerLeavesTheNewUninstallerInPlace) {
  UniqueHandle lock(CreateMutexW(nullptr, TRUE, kInstallMutexName));
  const fs::path program = folder_ / "QRN.exe";
  const fs::path locked = folder_ / "locked.dat";
  test::WriteBytes(program, Bytes("program"));
  test::WriteBytes(locked, Bytes("held open"));
  UniqueFile holder(CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  test::WriteBytes(Uninstaller(), Bytes("the old installation's uninstaller"));
  WriteRecord(Line(program) + Line(folder_ / "gone.dll") + Line(locked) + Line(Uninstaller()));

  // A setup started from the install folder itself: no file of the record,
  // so not the product's, and it must outlive the uninstaller it waits for.
  test::PlaceStandIn(L"TolvekStandIn.exe", folder_ / L"QuorrinSetup.exe");
  std::string error;
  product_ = ui::Program::Start((folder_ / L"QuorrinSetup.exe").wstring(), L"--idle", &error);
  ASSERT_TRUE(product_) << error;

  PlaceUninstaller();  // what ExtractUninstaller does
  EXPECT_EQ(static_cast<DWORD>(kUninstallIncomplete), RunCommand(Uninstaller().wstring() + L" -S"));
  EXPECT_FALSE(product_.WaitForExit(0)) << "a program outside the record was ended";

  std::vector<uint8_t> fresh = test::ReadBytes(UninstallerBuild());
  fresh.push_back(0x42);  // the next installation's file
  test::WriteBytes(Uninstaller(), fresh);
  EXPECT_FALSE(Exists(program));
  EXPECT_TRUE(Exists(locked));
  for (const std::wstring& path : pending_.AddedPaths()) {
    EXPECT_EQ(std::wstring::npos, path.find(folder_.wstring()))
        << "scheduled in the install folder: " << CStringToMultiByte(path).get();
  }
  Sleep(1000);
  EXPECT_EQ(fresh, test::ReadBytes(Uninstaller()));
  ExpectStartedSilently(log_.Text(), Uninstaller());
}

}  // namespace
}  // namespace qrn
