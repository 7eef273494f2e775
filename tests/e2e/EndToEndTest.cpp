// The product's setup as a user runs it: the packed setup of the stand-in
// product, driven through its window, with the local report server (or
// without one), on a machine scrubbed before and after each case. Checks
// what the installation leaves from outside: files, install record,
// registry, services, devices, shortcuts, data folder, log, report, the
// programs it starts, and the real uninstaller's round trip.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "base/Product.h"
#include "engine/DriverStage.h"
#include "tests/app/WindowFixture.h"
#include "tests/e2e/ProductState.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn::test {
namespace {

constexpr DWORD kInstallBoundMs = 240000;
constexpr wchar_t kFailureText[] = L"Quorrin安装失败！";
constexpr wchar_t kRestartNotice[] = L"覆盖安装后部分功能需要重启才能使用";
constexpr wchar_t kAlreadyRunning[] = L"安装或卸载程序已经在运行！";
constexpr DWORD kVersionControlCode = 0x222004;
constexpr DWORD kExpectedDriverVersion = 0x0119;

// The packed setup of this build, or its namesake in the folder
// QRN_E2E_SETUP_DIR names (with-signed-setup puts signed copies there).
std::wstring SetupPath() {
  const std::wstring packed = HostPath(QRN_E2E_SETUP);
  const char* folder = std::getenv("QRN_E2E_SETUP_DIR");
  if (folder == nullptr || *folder == '\0') return packed;
  return HostPath(folder) + packed.substr(packed.rfind(L'\\'));
}

std::wstring PayloadSource(const std::wstring& entryName) { return HostPath(QRN_E2E_PAYLOAD) + L"\\" + entryName; }

std::wstring ProgramFilesFolder() {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// The stages the install thread logs, in their order.
const char* const kStageOrder[] = {
    "running to DisableWow64Redirection()",
    "running to WaitForUnist()",
    "running to ExtractArchiveSetup()",
    "running to InstallDriver()",
    "running to EnableWow64Redirection()",
    "running to CreateAppDataDirectory()",
    "running to SetReg()",
    "running to AfterSetup()",
    "running to SendInstallInfo()",
    "running to OverSetup()",
};

// Lines the stand-in product programs appended to the record file, waiting
// up to `timeoutMs` for one that starts with `head`.
bool WaitForRecord(const std::wstring& record, const std::string& head, const std::string& part, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  do {
    const std::string text = ReadFileBytes(record);
    size_t pos = 0;
    while (pos < text.size()) {
      size_t eol = text.find('\n', pos);
      if (eol == std::string::npos) eol = text.size();
      const std::string line = text.substr(pos, eol - pos);
      if (line.rfind(head, 0) == 0 && line.find(part) != std::string::npos) return true;
      pos = eol + 1;
    }
    ::Sleep(200);
  } while (::GetTickCount64() < end);
  return false;
}

// The uninstaller's logs, for failure messages.
std::string UninstallLogs() {
  std::string logs;
  const std::wstring folder = DataFolder() + L"\\log";
  for (const std::wstring& name : FolderEntries(folder)) {
    if (name.rfind(L"Uninstall", 0) == 0) logs += ReadFileBytes(folder + L"\\" + name);
  }
  return logs;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::MoveMouseAway();
    folder_ = ProgramFilesFolder() + L"\\" + kProductFolderName;
    std::string error;
    entries_ = RouteSetupPayload(SetupPath(), folder_, &error);
    ASSERT_FALSE(entries_.empty()) << "cannot read the setup " << ui::Narrow(SetupPath()) << ": " << error;
    ScrubProduct(folder_, entries_);
    // The 32-bit setup on 64-bit Windows writes the x64 drivers into the
    // native folder, from which Windows loads them. Wine loads the driver
    // services a 32-bit process made with its 32-bit driver host, from
    // SysWOW64\drivers: this build's drivers wait there under the x64 names.
    if (UnderWow64()) {
      ASSERT_TRUE(PlaceDriversForWow64Host(ReadBytes(StandIn(L"drivers\\Velmdisk2.sys")),
                                           ReadBytes(StandIn(L"drivers\\Velmdisk.sys"))));
    }
    // A user's profile on Windows has its own Uninstall key, which the
    // installer marks but never creates; a fresh Wine prefix has none.
    UniqueHKey userUninstall;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                nullptr, userUninstall.put(), nullptr),
              ERROR_SUCCESS);
    if (Served()) {
      ASSERT_TRUE(ReportServer::Reset()) << "the report server does not answer";
      ASSERT_TRUE(ReportServer::SetMode("ok"));
    }
  }
  void TearDown() override {
    ScrubProduct(folder_, entries_);
    // Shared runtime libraries stay after an uninstallation; ours go when
    // the test is over.
    for (const RoutedEntry& e : entries_) {
      if (!e.recorded && ReadFileBytes(e.destination) == ReadFileBytes(PayloadSource(e.entryName))) {
        ::DeleteFileW(e.destination.c_str());
      }
    }
    if (Served()) ReportServer::SetMode("ok");
  }

  // The server's wrapper gives its port; the cases without a server run
  // without it.
  static bool Served() { return ReportServer::Port() != 0; }

  // Starts the setup, checks the welcome state and the proposed folder,
  // starts the installation and waits for the finished state.
  ::testing::AssertionResult InstallToFinished(SetupRun& run) {
    if (!run.ok()) return ::testing::AssertionFailure() << "no window: " << run.error();
    if (auto welcome = InWelcomeState(run, false); !welcome) return welcome;
    const std::wstring proposed = ui::Text(run.Control(kEditPath));
    if (proposed != folder_) {
      return ::testing::AssertionFailure()
             << "proposed folder " << ui::Narrow(proposed) << ", not " << ui::Narrow(folder_);
    }
    const std::string clicked = ui::Click(run.window(), kStart);
    if (!clicked.empty()) return ::testing::AssertionFailure() << "start: " << clicked;
    if (!run.WaitForHeight(275, 15000)) return ::testing::AssertionFailure() << "never reached the installing state";
    const ULONGLONG end = ::GetTickCount64() + kInstallBoundMs;
    while (run.Size().cy == 275 && run.Running() && ::GetTickCount64() < end) {
      HWND box = ui::WaitForMessageBox(run.program().pid(), 0);
      if (box != nullptr) {
        return ::testing::AssertionFailure() << "box while installing: " << ui::Narrow(ui::MessageBoxText(box));
      }
      ::Sleep(200);
    }
    if (!run.Running()) return ::testing::AssertionFailure() << "the setup ended while installing";
    if (!run.WaitForHeight(320, 0)) return ::testing::AssertionFailure() << "not finished within the bound";
    return InFinishedState(run);
  }

  // Clicks finish; after an installation over an earlier one the restart
  // notice comes first.
  ::testing::AssertionResult Finish(SetupRun& run, bool overwrite) {
    const std::string clicked = ui::Click(run.window(), kFinish);
    if (!clicked.empty()) return ::testing::AssertionFailure() << "finish: " << clicked;
    if (overwrite) {
      if (auto answered = run.Answer(kRestartNotice, IDOK); !answered) return answered;
    }
    if (!run.WaitForExit()) return ::testing::AssertionFailure() << "the window did not close";
    return ::testing::AssertionSuccess();
  }

  // A whole fresh installation through the window, finished and closed.
  void InstallFresh() {
    SetupRun run(SetupPath());
    ASSERT_TRUE(InstallToFinished(run));
    ASSERT_TRUE(Finish(run, false));
    ASSERT_TRUE(WaitForRecord(record_, "QRN.exe", "", 15000)) << "finish did not start QRN.exe";
    // The product's window closes by itself (QRN_PRODUCT_CLOSE_AFTER); the
    // protection service runs on, as after any installation.
    for (int i = 0; i < 100 && !ProcessesNamed(L"QRN.exe").empty(); ++i) ::Sleep(100);
  }

  void ExpectFilesInstalled() {
    for (const RoutedEntry& e : entries_) {
      const std::string name = ui::Narrow(e.entryName);
      if (!e.written) continue;
      const std::string installed = ReadFileBytes(e.destination);
      EXPECT_FALSE(installed.empty()) << name << " not installed at " << ui::Narrow(e.destination);
      EXPECT_TRUE(installed == ReadFileBytes(PayloadSource(e.entryName))) << name << " differs from the payload";
    }
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\InstallInfo.db"), ExpectedInstallRecord(entries_));
  }

  void ExpectRegistered() {
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", KEY_WOW64_32KEY),
              folder_ + L"\\Uninstall.exe");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", KEY_WOW64_32KEY), kProductVersionW);
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kUninstallKey, KEY_WOW64_32KEY)) << "no marker for the user";
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, L"qrnFile\\Shell\\open\\command", nullptr, KEY_WOW64_32KEY),
              folder_ + L"\\QRNLocalEncrypt.exe \"%1\"");
    EXPECT_EQ(RegText(HKEY_CLASSES_ROOT, L"iqrnFile\\Shell\\open\\command", nullptr, KEY_WOW64_32KEY),
              folder_ + L"\\QRNIndependentEncrypt.exe \"%1\"");
  }

  void ExpectServicesAndDevices() {
    for (const wchar_t* service : {L"VeraCrypt", L"Velmdisk", kProtectServiceName}) {
      // A bound, not a speed check: a loaded or emulated machine takes its time.
      EXPECT_TRUE(WaitForServiceState(service, SERVICE_RUNNING, 60000)) << ui::Narrow(service) << " not running";
    }
    const DeviceAnswer answer = QueryDevice(L"\\\\.\\VeraCrypt", kVersionControlCode);
    EXPECT_TRUE(answer.ran);
    EXPECT_EQ(answer.openError, 0u);
    EXPECT_EQ(answer.version, kExpectedDriverVersion);
    EXPECT_EQ(QueryDevice(L"\\\\.\\Velmdisk", kVersionControlCode).openError, 0u) << "the disk driver's device";
  }

  void ExpectShortcuts() {
    EXPECT_EQ(ReadShellLink(DesktopLink()).target, folder_ + L"\\QRN.exe");
    EXPECT_EQ(ReadShellLink(StartMenuFolder() + L"\\启动Quorrin.lnk").target, folder_ + L"\\QRN.exe");
    EXPECT_EQ(ReadShellLink(StartMenuFolder() + L"\\卸载Quorrin.lnk").target, folder_ + L"\\Uninstall.exe");
    EXPECT_EQ(ReadShellLink(StartMenuFolder() + L"\\加密助手\\文件彻底粉碎.lnk").target, folder_ + L"\\SecureDel.exe");
  }

  // Nothing of the product is left but the data folder.
  void ExpectNothingLeft() {
    EXPECT_FALSE(FileExists(folder_)) << "the install folder is still there";
    for (const RoutedEntry& e : entries_) {
      if (e.recorded) {
        EXPECT_FALSE(FileExists(e.destination)) << ui::Narrow(e.destination) << " left behind";
      }
    }
    for (const wchar_t* service : {L"VeraCrypt", L"Velmdisk", kProtectServiceName}) {
      EXPECT_FALSE(ServiceExists(service)) << ui::Narrow(service) << " left behind";
    }
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, view)) << "uninstall entry left behind";
    }
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kUninstallKey, view)) << "the user's marker left behind";
      for (const wchar_t* key : {L".safe", L".qrn", L".iqrn", L"qrn_safe_file", L"qrnFile", L"iqrnFile"}) {
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key, view)) << ui::Narrow(key) << " left behind";
      }
    }
    EXPECT_FALSE(FileExists(DesktopLink()));
    EXPECT_FALSE(FileExists(StartMenuFolder()));
    EXPECT_TRUE(FileExists(DataFolder())) << "the data folder went too";
  }

  std::wstring folder_;
  std::vector<RoutedEntry> entries_;
  ScratchDir scratch_;
  std::wstring record_ = scratch_ / L"product-record.txt";
  ScopedEnv recordTo_{L"QRN_PRODUCT_RECORD", record_};
  // The product's windows close by themselves.
  ScopedEnv closeAfter_{L"QRN_PRODUCT_CLOSE_AFTER", L"3000"};
  ScopedDword noCrashDialog_{HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", L"ShowCrashDialog", 0};
};

// Every field of every stored report, for a failure message.
std::string PrintRows(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    text += "\n ";
    for (const auto& [key, value] : row) text += " " + key + "=" + value;
  }
  return text;
}

TEST_F(EndToEndTest, FreshInstallationThroughTheWindow) {
  LogWatch log;
  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));

  ExpectFilesInstalled();
  for (const RoutedEntry& e : entries_) {
    if (!e.written) {
      EXPECT_FALSE(FileExists(e.destination)) << ui::Narrow(e.destination) << " was written";
    }
  }
  ExpectRegistered();
  ExpectServicesAndDevices();
  ExpectShortcuts();
  EXPECT_TRUE(FileExists(DataFolder()));
  const std::string appended = log.Appended();
  size_t at = 0;
  for (const char* stage : kStageOrder) {
    const size_t found = appended.find(stage, at);
    EXPECT_NE(found, std::string::npos) << "\"" << stage << "\" missing or out of order";
    if (found != std::string::npos) at = found;
  }
  const std::vector<Row> reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 1u) << "reports stored:" << PrintRows(reports);
  EXPECT_EQ(reports[0].at("version"), kProductVersion);
  EXPECT_TRUE(WaitForRecord(record_, "QRNService.exe", "-init", 15000)) << "QRNService.exe -init did not run";

  ASSERT_TRUE(Finish(run, false));
  EXPECT_TRUE(WaitForRecord(record_, "QRN.exe", "", 15000)) << "finish did not start QRN.exe";
}

TEST_F(EndToEndTest, InstallationOverAnEarlierOneKeepsUserData) {
  ASSERT_NO_FATAL_FAILURE(InstallFresh());
  const std::wstring userData = folder_ + L"\\UserList.db";
  const std::string bytes = "the user's own list\r\n\x01\x02";
  ASSERT_TRUE(WriteFileBytes(userData, bytes));

  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  ExpectFilesInstalled();
  ExpectRegistered();
  ExpectServicesAndDevices();
  EXPECT_EQ(ReadFileBytes(userData), bytes) << "the user's data changed";
  // The old uninstaller was run quietly, and did its whole work.
  const std::string uninstallLog = UninstallLogs();
  const size_t started = uninstallLog.find("started, command line:");
  const size_t lineEnd = uninstallLog.find('\r', started);
  ASSERT_TRUE(started != std::string::npos && lineEnd != std::string::npos) << "the old uninstaller never ran";
  EXPECT_EQ(uninstallLog.substr(lineEnd - 3, 3), " -S") << uninstallLog.substr(started, lineEnd - started);
  EXPECT_NE(uninstallLog.find("uninstallation complete"), std::string::npos) << uninstallLog;
  ASSERT_TRUE(Finish(run, true));
}

// An installation over an earlier one whose drivers do not stop (each
// holding, say, a mounted volume or a virtual disk): the old uninstaller,
// run with -S, must leave them registered, and the new installation must
// leave both services registered to load its own driver files, so that they
// load after the restart the finish page asks for.
TEST_F(EndToEndTest, InstallationOverDriversThatDoNotStopLeavesThemRegistered) {
  ASSERT_NO_FATAL_FAILURE(InstallFresh());
  RefusedStops refused({L"VeraCrypt", L"Velmdisk"});
  ASSERT_TRUE(refused.refused()) << "the drivers cannot be made to refuse a stop";

  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  const std::wstring suffix = OnWindows64() ? L"-x64" : L"";
  const struct {
    const wchar_t* service;
    std::wstring file;
  } drivers[] = {{L"VeraCrypt", L"Velmdisk2" + suffix + L".sys"}, {L"Velmdisk", L"Velmdisk" + suffix + L".sys"}};
  for (const auto& d : drivers) {
    const StoredService stored = ReadStoredService(d.service);
    ASSERT_TRUE(stored.found) << ui::Narrow(d.service) << " is not registered";
    EXPECT_FALSE(MarkedForDeletion(d.service)) << ui::Narrow(d.service) << " goes at the restart";
    EXPECT_EQ(stored.type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER)) << ui::Narrow(d.service);
    EXPECT_EQ(stored.start, static_cast<DWORD>(SERVICE_SYSTEM_START)) << ui::Narrow(d.service);
    EXPECT_EQ(stored.imagePath, (DriversFolder() / d.file).wstring()) << ui::Narrow(d.service);
  }
  // Still loaded, and running: the old uninstaller's stop request was refused.
  ExpectServicesAndDevices();
  const std::string uninstallLog = UninstallLogs();
  for (const char* service : {"VeraCrypt", "Velmdisk"}) {
    EXPECT_NE(uninstallLog.find(std::string("driver still loaded, its service is left registered:") + service),
              std::string::npos)
        << uninstallLog;
  }
  EXPECT_NE(uninstallLog.find("uninstallation incomplete"), std::string::npos) << uninstallLog;
  ASSERT_TRUE(Finish(run, true));
}

TEST_F(EndToEndTest, EarlierProductRunningIsAskedToQuitAndRemoved) {
  const std::filesystem::path tolvek = std::filesystem::path(scratch_.path()) / L"Tolvek";
  const std::filesystem::path uninstaller = tolvek / L"uninst.exe";
  PlaceStandIn(L"TolvekStandIn.exe", tolvek / L"Tolvek.exe");
  PlaceStandIn(L"TolvekStandIn.exe", tolvek / L"TolvekService.exe");
  PlaceStandIn(L"ArgsRecorder.exe", uninstaller);
  ScopedKey entry(HKEY_LOCAL_MACHINE, kEarlierUninstallKey, KEY_WOW64_32KEY);
  ASSERT_TRUE(entry.created());
  ASSERT_TRUE(entry.SetString(L"", L"UninstallString", uninstaller.wstring()));
  UniqueProcessInformation ui, service;
  Launch(tolvek / L"Tolvek.exe", L"", &ui);
  Launch(tolvek / L"TolvekService.exe", L"--idle", &service);
  ASSERT_TRUE(ui.get().hProcess != nullptr && service.get().hProcess != nullptr);

  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  EXPECT_EQ(::WaitForSingleObject(ui.get().hProcess, 5000), WAIT_OBJECT_0) << "the earlier product still runs";
  EXPECT_EQ(::WaitForSingleObject(service.get().hProcess, 5000), WAIT_OBJECT_0) << "its service still runs";
  EXPECT_EQ(RecordedCommandLines(uninstaller), L"\"" + uninstaller.wstring() + L"\" -S\n");
  ExpectFilesInstalled();
  ASSERT_TRUE(Finish(run, false));
}

TEST_F(EndToEndTest, UninstallerTakesAllButTheDataFolderAndReinstallationIsFresh) {
  ASSERT_NO_FATAL_FAILURE(InstallFresh());
  EXPECT_EQ(RunAndWait(folder_ + L"\\Uninstall.exe", L"-S", 120000), 0u) << "the uninstaller failed:\n"
                                                                         << UninstallLogs();
  ExpectNothingLeft();

  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  ExpectFilesInstalled();
  ExpectRegistered();
  ExpectServicesAndDevices();
  ExpectShortcuts();
  ASSERT_TRUE(Finish(run, false)) << "a reinstallation after uninstalling is a fresh one";
}

TEST_F(EndToEndTest, DamagedSetupFailsAndLeavesNoSuccess) {
  // One byte flipped in the middle of the product program's packed data (a
  // file the installation writes; an entry left out on this machine would
  // never be read).
  std::string setup = ReadFileBytes(SetupPath());
  ASSERT_GT(setup.size(), 32u);
  uint32_t archiveStart = 0;
  std::memcpy(&archiveStart, setup.data() + 28, sizeof archiveStart);
  uint64_t at = 0;
  for (const RoutedEntry& e : entries_) {
    if (e.entryName == L"main\\Program\\QRN.exe") at = archiveStart + 40 + e.dataOffset + e.packedSize / 2;
  }
  ASSERT_TRUE(at > archiveStart && at < setup.size()) << "no QRN.exe in the payload";
  setup[static_cast<size_t>(at)] ^= 0x5A;
  const std::wstring damaged = scratch_ / L"QuorrinSetup.exe";
  ASSERT_TRUE(WriteFileBytes(damaged, setup));

  SetupRun run(damaged);
  ASSERT_TRUE(run.ok()) << run.error();
  ASSERT_EQ(ui::Click(run.window(), kStart), "");
  ASSERT_TRUE(run.Answer(kFailureText, IDOK, 120000));
  EXPECT_TRUE(run.WaitForExit()) << "the window stays after the failure";
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY)) << "an uninstall entry";
  EXPECT_FALSE(FileExists(folder_ + L"\\InstallInfo.db")) << "an install record";
  EXPECT_FALSE(FileExists(DesktopLink())) << "a shortcut";
  EXPECT_TRUE(ReportServer::Reports().empty()) << "a report of an installation that failed";
}

TEST_F(EndToEndTest, SilentReportServerStillFinishes) {
  ASSERT_TRUE(ReportServer::SetMode("silent"));
  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  ExpectRegistered();
  ExpectShortcuts();
  ASSERT_TRUE(Finish(run, false));
}

TEST_F(EndToEndTest, WithoutReportServerStillFinishes) {
  SetupRun run(SetupPath());
  ASSERT_TRUE(InstallToFinished(run));
  ExpectRegistered();
  ExpectShortcuts();
  ASSERT_TRUE(Finish(run, false));
}

TEST_F(EndToEndTest, SecondSetupBesideARunningOneIsRefused) {
  SetupRun first(SetupPath());
  ASSERT_TRUE(first.ok()) << first.error();
  std::string error;
  ui::Program second = ui::Program::Start(SetupPath(), L"", &error);
  ASSERT_TRUE(second) << error;
  HWND box = ui::WaitForMessageBox(second.pid(), 15000);
  ASSERT_NE(box, nullptr) << "the second setup showed no box";
  EXPECT_EQ(ui::MessageBoxText(box), kAlreadyRunning);
  EXPECT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(second.WaitForExit(15000)) << "the second setup did not end";
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(InWelcomeState(first, false)) << "the first setup was disturbed";
}

}  // namespace
}  // namespace qrn::test

int main(int argc, char** argv) {
  // The wrapper says which cases this run is for: with the report server
  // answering, or with none on the machine.
  const char* cases = std::getenv("QRN_E2E_CASES");
  if (cases != nullptr && std::getenv("GTEST_FILTER") == nullptr) {
    ::testing::GTEST_FLAG(filter) =
        std::string(cases) == "no-server" ? "*WithoutReportServer*" : "-*WithoutReportServer*";
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
