// Component registration (regsvr32 over the stand-in shell-extension
// libraries, registrations read back from the registry) and the shortcuts
// (written to the prefix user's real Desktop and Start menu, read back with
// IShellLinkW). The program is also its own child: run from a folder with a
// planted regsvr32.exe, it shows which regsvr32 the registration starts.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ComponentRegistration.h"
#include "engine/InstallSettings.h"
#include "engine/Shortcuts.h"
#include "report/Http2Server.h"
#include "system/SetupInfo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;

// ---- the child ---------------------------------------------------------------

// --regdll <folder>: the registration as the installer starts it.
// --bare <folder>: the command with a bare "regsvr32", for comparison.
int RunChild(const wchar_t* mode, const wchar_t* folder) {
  SetIsWow64ForTesting(1);
  if (std::wcscmp(mode, L"--regdll") == 0) {
    RegDll(folder);
    return 0;
  }
  const std::wstring bare = L"regsvr32 -s \"" + std::wstring(folder) + L"\\QRNShellExt-x64.dll\"";
  return WinExec(CStringToMultiByte(bare).get(), SW_SHOWNORMAL) > 31 ? 0 : 1;
}

// ---- the parent --------------------------------------------------------------

fs::path SystemFolder() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return fs::path(system);
}

class ComponentStageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RemoveInstalledComponents();
    fs::create_directories(folder_);
    settings_.installFolder = folder_.wstring();
  }
  void TearDown() override {
    SetIsWow64ForTesting(-1);
    SetRegsvr32ForTesting(nullptr);
    SetSpecialFolderForTesting(nullptr);
    test::RemoveInstalledComponents();
  }
  // This build's libraries under the names of both word sizes: the system's
  // regsvr32 of this program's word size loads only libraries of that size.
  void PlaceLibraries() {
    const wchar_t* const shellExt = L"QRNShellExt" QRN_BUILD_SUFFIX L".dll";
    const wchar_t* const dragDrop = L"QRNDragDrop" QRN_BUILD_SUFFIX L".dll";
    for (const auto& [build, name] :
         std::vector<std::pair<const wchar_t*, const wchar_t*>>{{shellExt, L"QRNShellExt-x64.dll"},
                                                                {dragDrop, L"QRNDragDrop-x64.dll"},
                                                                {shellExt, L"QRNShellExt.dll"},
                                                                {dragDrop, L"QRNDragDrop.dll"}}) {
      test::PlaceStandIn(build, folder_ / name);
    }
  }

  test::TempDir dir_;
  // A blank and Chinese text: the path goes through the ANSI code page.
  fs::path folder_ = dir_.path() / L"Program Files" / L"Quorrin 软件版";
  InstallSettings settings_;
};

// Both libraries of the word size registered by the system's regsvr32, in
// order, each with its own log line.
class RegDllTest : public ComponentStageTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RegDllTest, RegistersTheLibrariesOfTheWordSize) {
  SetIsWow64ForTesting(GetParam() ? 1 : 0);
  PlaceLibraries();
  LogCapture log;
  RegDll(folder_.wstring());
  const std::wstring suffix = GetParam() ? L"-x64" : L"";
  EXPECT_TRUE(test::WaitForInprocServer(test::kShellExtClsid, (folder_ / (L"QRNShellExt" + suffix + L".dll")).wstring(),
                                        30000));
  EXPECT_TRUE(test::WaitForInprocServer(test::kDragDropClsid, (folder_ / (L"QRNDragDrop" + suffix + L".dll")).wstring(),
                                        30000));
  EXPECT_EQ((std::vector<std::string>{"debug:running to RegDll() - MShellExt.dll",
                                      "debug:running to RegDll() - QRNDragDrop.dll"}),
            log.Messages());
}

INSTANTIATE_TEST_SUITE_P(Components, RegDllTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "OnWow64" : "On32BitWindows";
                         });

TEST_F(ComponentStageTest, CommandLineNamesTheSystemRegsvr32AndQuotesTheLibrary) {
  EXPECT_EQ(L"\"" + (SystemFolder() / L"regsvr32.exe").wstring() + L"\" -s \"" + folder_.wstring() +
                L"\\QRNShellExt-x64.dll\"",
            RegisterDllCommandLine(folder_.wstring(), L"QRNShellExt-x64.dll"));
}

// regsvr32 cannot be started: one line per library, then the report.
TEST_F(ComponentStageTest, AnUnstartableRegsvr32IsLoggedPerLibraryAndTheReportFollows) {
  SetIsWow64ForTesting(1);
  SetRegsvr32ForTesting(L"C:\\no such folder\\regsvr32.exe");
  LogCapture log;
  AfterSetup(settings_);
  const std::vector<std::string> messages = log.Messages();
  ASSERT_GE(messages.size(), 7u) << log.Text();
  EXPECT_EQ("debug:running to RegDll()", messages[0]);
  EXPECT_EQ("debug:running to RegDll() - MShellExt.dll", messages[1]);
  const std::string command =
      "\"C:\\no such folder\\regsvr32.exe\" -s \"" + std::string(CStringToMultiByte(folder_.wstring()).get()) + "\\";
  EXPECT_EQ(0u, messages[2].rfind("error:WinExec() failed, path:" + command + "QRNShellExt-x64.dll\" ret code:", 0));
  EXPECT_EQ("debug:running to RegDll() - QRNDragDrop.dll", messages[3]);
  EXPECT_EQ(0u, messages[4].rfind("error:WinExec() failed, path:" + command + "QRNDragDrop-x64.dll\" ret code:", 0));
  EXPECT_EQ("debug:running to SendInstallInfo()", messages[5]);
  EXPECT_EQ("error:SendInstallInfo() failed", messages.back()) << "nothing listens where the report goes";
}

// A regsvr32.exe planted beside the setup never runs: the system's does the
// registration. The bare name, as a comparison, would run the planted one.
TEST_F(ComponentStageTest, APlantedRegsvr32BesideTheSetupIsNotRun) {
  struct Case {
    const wchar_t* mode;
    bool plantedRuns;
  };
  for (const Case c : {Case{L"--regdll", false}, Case{L"--bare", true}}) {
    SCOPED_TRACE(fs::path(c.mode).string());
    test::RemoveInstalledComponents();
    PlaceLibraries();
    test::TempDir setupDir;
    const fs::path setup = setupDir / "QuorrinSetup.exe";
    test::WriteSelfSetup(setup, {});
    const fs::path planted = setupDir / "regsvr32.exe";
    test::PlaceStandIn(L"ArgsRecorder.exe", planted);

    ASSERT_EQ(0u, test::RunAndWait(setup, std::wstring(c.mode) + L" \"" + folder_.wstring() + L"\"", 60000));
    if (c.plantedRuns) {
      std::wstring recorded;
      for (int i = 0; i < 100 && recorded.empty(); ++i, Sleep(100)) recorded = test::RecordedCommandLines(planted);
      EXPECT_FALSE(recorded.empty());
    } else {
      EXPECT_TRUE(test::WaitForInprocServer(test::kShellExtClsid, (folder_ / L"QRNShellExt-x64.dll").wstring(), 30000));
      EXPECT_TRUE(test::WaitForInprocServer(test::kDragDropClsid, (folder_ / L"QRNDragDrop-x64.dll").wstring(), 30000));
      EXPECT_EQ(L"", test::RecordedCommandLines(planted));
    }
  }
}

struct ExpectedLink {
  fs::path link;
  std::wstring target, icon;
};

std::vector<ExpectedLink> ExpectedLinks(const std::wstring& folder) {
  const fs::path menu = test::UserPrograms() / L"Quorrin软件版";
  return {
      {test::UserDesktop() / L"Quorrin软件版.lnk", folder + L"\\QRN.exe", folder + L"\\QRN.ico"},
      {menu / L"启动Quorrin.lnk", folder + L"\\QRN.exe", folder + L"\\QRN.ico"},
      {menu / L"卸载Quorrin.lnk", folder + L"\\Uninstall.exe", L""},
      {menu / L"加密助手" / L"文件彻底粉碎.lnk", folder + L"\\SecureDel.exe", L""},
  };
}

void ExpectLinks(const std::wstring& folder) {
  for (const ExpectedLink& e : ExpectedLinks(folder)) {
    SCOPED_TRACE(e.link.string());
    const test::ShellLinkData read = test::ReadShellLink(e.link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(e.target, read.target);
    EXPECT_EQ(folder, read.workingFolder);
    EXPECT_EQ(e.icon, read.iconPath);
    if (!e.icon.empty()) {
      EXPECT_EQ(0, read.iconIndex);
    }
    EXPECT_EQ(L"", read.arguments);
  }
}

// The four shortcuts with their names, folders, targets, working folder and
// icons; a reinstallation into another folder finds the Start-menu folders
// (two lines) and overwrites every link.
TEST_F(ComponentStageTest, CreatesTheFourShortcutsAndOverwritesThemOnReinstallation) {
  ASSERT_FALSE(test::UserDesktop().empty());
  ASSERT_FALSE(test::UserPrograms().empty());
  {
    LogCapture log;
    OverSetup(settings_);
    EXPECT_TRUE(log.Messages().empty()) << log.Text();
  }
  ExpectLinks(folder_.wstring());

  const fs::path other = dir_.path() / L"Quorrin";
  fs::create_directories(other);
  settings_.installFolder = other.wstring();
  LogCapture log;
  OverSetup(settings_);
  EXPECT_EQ(2, log.Count("error:CreateDirectory() failed, error code:183")) << log.Text();
  EXPECT_EQ(2u, log.Messages().size()) << log.Text();
  ExpectLinks(other.wstring());
}

// Test folder query: no Desktop, Programs in a scratch folder.
fs::path g_programs;
bool NoDesktop(int csidl, std::wstring* folder) {
  if (csidl != CSIDL_PROGRAMS) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  *folder = g_programs.wstring();
  return true;
}

// A folder that cannot be found leaves its shortcuts out, instead of writing
// them to the root of the current drive.
TEST_F(ComponentStageTest, AMissingDesktopLeavesItsShortcutOut) {
  test::TempDir programs;
  g_programs = programs.path();
  SetSpecialFolderForTesting(NoDesktop);
  LogCapture log;
  OverSetup(settings_);
  EXPECT_EQ((std::vector<std::string>{"error:SHGetSpecialFolderPath() failed, error code:3"}), log.Messages());
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  EXPECT_FALSE(fs::exists(fs::path(current).root_path() / L"Quorrin软件版.lnk"));
  EXPECT_FALSE(fs::exists(test::UserDesktop() / L"Quorrin软件版.lnk"));
  EXPECT_TRUE(test::ReadShellLink(programs.path() / L"Quorrin软件版" / L"启动Quorrin.lnk").loaded);
  EXPECT_TRUE(test::ReadShellLink(programs.path() / L"Quorrin软件版" / L"加密助手" / L"文件彻底粉碎.lnk").loaded);
}

}  // namespace
}  // namespace qrn

int wmain(int argc, wchar_t** argv) {
  // Reports from these tests go to a loopback port where nothing listens.
  qrn::SetReportServerForTesting(L"127.0.0.1", 9);
  if (argc == 3 && (std::wcscmp(argv[1], L"--regdll") == 0 || std::wcscmp(argv[1], L"--bare") == 0)) {
    return qrn::RunChild(argv[1], argv[2]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
