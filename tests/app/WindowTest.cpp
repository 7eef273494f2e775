// The installer window driven from outside as a user would: its states and
// their heights, the keyboard table, the path refusals, the finish actions,
// the single-instance and version checks, and the DLL-planting defence. The
// program under test is the installer's own code with the stand-in install
// thread (standins/), whose plan each test chooses.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/app/WindowFixture.h"
#include "tests/support/TestPlatform.h"

namespace qrn::test {
namespace {

const wchar_t kInvalidPath[] = L"您选择的路径无法安装Quorrin，请重新选择";
const wchar_t kNoSpace[] = L"您选择的路径所在磁盘空间不足，请重新选择";
const wchar_t kQuitQuestion[] = L"您确定要退出“Quorrin”安装程序吗？";
const wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B1D4E20-8C3A-4F57-9E21-0A7C53D9B184}";

bool HasRedText(const ui::Image& image) {
  for (int y = 380; y < 400; ++y) {
    for (int x = 180; x < 548; ++x) {
      const COLORREF c = image.At(x, y);
      if (GetRValue(c) > 200 && GetGValue(c) < 90 && GetBValue(c) < 90) return true;
    }
  }
  return false;
}

// A drive letter that names no drive in this prefix.
std::wstring UnusedDrive() {
  for (wchar_t letter = L'K'; letter <= L'Y'; ++letter) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (::GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) return std::wstring(1, letter) + L":";
  }
  return std::wstring();
}

std::wstring EnvValue(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value) : std::wstring();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::MoveMouseAway();
    // Each test chooses its own plan; none leaks in from outside.
    ::SetEnvironmentVariableW(L"QRN_STANDIN_PLAN", nullptr);
  }

  // Starts an installation into `folder` and waits for the installing state.
  ::testing::AssertionResult StartInstalling(SetupRun& run, const std::wstring& folder) {
    run.SetPath(folder);
    const std::string clicked = ui::Click(run.window(), kStart);
    if (!clicked.empty()) return ::testing::AssertionFailure() << clicked;
    return InInstallingState(run);
  }

  ::testing::AssertionResult WaitForFinished(SetupRun& run, DWORD timeoutMs = 30000) {
    if (!run.WaitForHeight(320, timeoutMs)) return ::testing::AssertionFailure() << "never finished";
    return InFinishedState(run);
  }

  ScratchDir scratch_;
  // A program under test that crashes ends, rather than waiting in Wine's
  // crash dialog until the test times out.
  ScopedDword noCrashDialog_{HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", L"ShowCrashDialog", 0};
};

TEST_F(WindowTest, WelcomeShowsItsControlsAndTheCustomToggleOpensThePathArea) {
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  EXPECT_EQ(ui::Text(run.window()), L"Quorrin软件版 V6.1.0.3_20200220 安装");
  EXPECT_TRUE(InWelcomeState(run, false));
  EXPECT_EQ(ui::CheckState(run.Control(kCheckAgree)), BST_CHECKED);
  EXPECT_TRUE(ui::IsEnabled(run.Control(kStart)));
  // A 32-bit program on 64-bit Windows gets the 32-bit programs' folder.
  EXPECT_EQ(ui::Text(run.Control(kEditPath)),
            test::UnderWow64() ? L"C:\\Program Files (x86)\\Quorrin" : L"C:\\Program Files\\Quorrin")
      << "the default install folder";

  ASSERT_EQ(ui::Click(run.window(), kCheckCustom), "");
  EXPECT_TRUE(InWelcomeState(run, true));
  ASSERT_EQ(ui::Click(run.window(), kCheckCustom), "");
  EXPECT_TRUE(InWelcomeState(run, false));

  // Unchecking the agreement disables the start button, and checking enables it.
  ASSERT_EQ(ui::Click(run.window(), kCheckAgree), "");
  EXPECT_FALSE(ui::IsEnabled(run.Control(kStart)));
  ASSERT_EQ(ui::Click(run.window(), kCheckAgree), "");
  EXPECT_TRUE(ui::IsEnabled(run.Control(kStart)));
}

// The start button shows frame 1 of its strip under the mouse, frame 0 when
// the mouse has left, frame 1 again on the next visit, and frame 3 whenever
// it is disabled, hovered or not.
TEST_F(WindowTest, TheStartButtonShowsTheFrameOfItsState) {
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  const std::wstring setup = StandinPath(L"window-test-setup.exe");
  auto frame = [&](int index) { return SkinPixel(setup, 130, 182 * index + 6, 23); };
  ASSERT_NE(frame(0), frame(1));
  ASSERT_NE(frame(0), frame(3));
  auto shown = [&]() -> COLORREF {
    ui::Image image;
    if (!ui::Capture(run.window(), &image)) return CLR_INVALID;
    return image.At(184 + 6, 232 + 23);
  };
  auto waitFor = [&](COLORREF wanted) {
    for (int i = 0; i < 40; ++i) {
      if (shown() == wanted) return true;
      ::Sleep(50);
    }
    return false;
  };
  EXPECT_TRUE(waitFor(frame(0))) << "normal";
  ui::Hover(run.Control(kStart));
  EXPECT_TRUE(waitFor(frame(1))) << "hovered";
  ui::MoveMouseAway();
  EXPECT_TRUE(waitFor(frame(0))) << "after the mouse left";
  ui::Hover(run.Control(kStart));
  EXPECT_TRUE(waitFor(frame(1))) << "hovered again";
  ui::MoveMouseAway();
  ASSERT_EQ(ui::Click(run.window(), kCheckAgree), "");
  EXPECT_TRUE(waitFor(frame(3))) << "disabled";
  ui::Hover(run.Control(kStart));
  ::Sleep(300);
  EXPECT_EQ(shown(), frame(3)) << "disabled and hovered";
}

TEST_F(WindowTest, WelcomeKeyboardEscIsSwallowedAltF4AndCloseAsk) {
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  ui::PressKey(run.window(), VK_ESCAPE);
  EXPECT_TRUE(run.Running()) << "Esc closed the window";
  EXPECT_TRUE(InWelcomeState(run, false));

  ui::PressAltF4(run.window());
  EXPECT_TRUE(run.Answer(kQuitQuestion, IDCANCEL));
  EXPECT_TRUE(run.Running()) << "Cancel must keep the window";
  EXPECT_TRUE(InWelcomeState(run, false));

  ASSERT_EQ(ui::Click(run.window(), kClose), "");
  EXPECT_TRUE(run.Answer(kQuitQuestion, IDOK));
  EXPECT_TRUE(run.WaitForExit()) << "OK must close the window";
}

// The whole way through: start, installing (the percentage only rises, the
// status line changes), finished, finish starts the product and closes.
TEST_F(WindowTest, InstallGoesThroughInstallingToFinishedAndFinishStartsTheProduct) {
  const std::wstring record = scratch_ / L"record.txt";
  ScopedEnv recordTo(L"QRN_RECORD_FILE", record);
  // Each status line stays a second, so that even a slow machine's
  // screenshots see several of them.
  ScopedEnv plan(L"QRN_STANDIN_PLAN",
                 L"s正在卸载旧版本...;w1000;p30;s正在解压文件：QRN.exe;w1000;p60;s正在安装驱动...;w1000;p80;"
                 L"s正在创建快捷方式...;w300;p100");
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  const std::wstring folder = scratch_ / L"dest\\Quorrin";
  ASSERT_TRUE(StartInstalling(run, scratch_ / L"dest"));
  EXPECT_TRUE(FileExists(folder)) << "the start creates the missing install folder";
  // What the engine would extract: the product program.
  ASSERT_TRUE(CopyInto(StandinPath(L"qrn-recorder.exe"), folder + L"\\QRN.exe"));

  // While installing, no key and no close request ends or changes anything.
  ui::PressKey(run.window(), VK_ESCAPE);
  ui::PressKey(run.window(), VK_RETURN);
  ui::PressAltF4(run.window());
  ui::PostSysCommand(run.window(), SC_CLOSE);
  ::PostMessageW(run.window(), WM_CLOSE, 0, 0);
  ui::SyncPosted(run.window(), 1);
  EXPECT_TRUE(run.Running());
  EXPECT_TRUE(run.WaitForHeight(275, 0) || run.Size().cy == 320) << "height " << run.Size().cy;

  const InstallingPictures seen = WatchInstalling(run, 40000);
  EXPECT_EQ(seen.fallsOfTheBar, 0) << "the percentage went down";
  // Screenshots are sampled: under load the last one may come a few percent
  // before the window switches to its finished state.
  EXPECT_GE(seen.lastRight, 480) << "the bar never got near full";
  EXPECT_GE(seen.statusPictures, 3u) << "the status line hardly changed (" << seen.pictures << " pictures)";
  ASSERT_TRUE(WaitForFinished(run));

  ui::PressKey(run.window(), VK_ESCAPE);
  EXPECT_TRUE(run.Running()) << "Esc closed the finished window";
  ui::PressKey(run.window(), VK_RETURN);  // the finish button's actions
  EXPECT_TRUE(run.WaitForExit());
  for (int i = 0; i < 100 && ReadFileBytes(record).empty(); ++i) ::Sleep(100);
  EXPECT_NE(ReadFileBytes(record).find(ui::Narrow(folder + L"\\QRN.exe")), std::string::npos)
      << "the product was not started: " << ReadFileBytes(record);
}

// Closing the finished window another way runs none of the finish actions.
TEST_F(WindowTest, ClosingTheFinishedWindowWithoutFinishStartsNothing) {
  struct Way {
    const char* name;
    bool altF4;
  };
  for (const Way& way : {Way{"Alt+F4", true}, Way{"close button", false}}) {
    ScratchDir scratch;
    const std::wstring record = scratch / L"record.txt";
    ScopedEnv recordTo(L"QRN_RECORD_FILE", record);
    ScopedEnv plan(L"QRN_STANDIN_PLAN", L"p100");
    SetupRun run;
    ASSERT_TRUE(run.ok()) << run.error();
    ASSERT_TRUE(StartInstalling(run, scratch / L"dest")) << way.name;
    ASSERT_TRUE(CopyInto(StandinPath(L"qrn-recorder.exe"), scratch / L"dest\\Quorrin\\QRN.exe"));
    ASSERT_TRUE(WaitForFinished(run)) << way.name;
    if (way.altF4) {
      ui::PressAltF4(run.window());
    } else {
      ASSERT_EQ(ui::Click(run.window(), kClose), "") << way.name;
    }
    EXPECT_TRUE(run.WaitForExit()) << way.name << " did not close the finished window at once";
    ::Sleep(1000);
    EXPECT_FALSE(FileExists(record)) << way.name << " started the product";
  }
}

TEST_F(WindowTest, AFailedInstallationShowsTheFailureBoxThenCloses) {
  ScopedEnv plan(L"QRN_STANDIN_PLAN", L"p40;s正在解压文件：QRN.exe;w800;f");
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  ASSERT_TRUE(StartInstalling(run, scratch_ / L"dest"));
  EXPECT_TRUE(run.Answer(L"Quorrin安装失败！", IDOK));
  EXPECT_TRUE(run.WaitForExit());
}

// An earlier installation is found through its uninstall entry: the path box
// starts in its folder, and finishing shows the restart notice instead of
// starting the product.
TEST_F(WindowTest, OverwriteInstallStartsInTheEarlierFolderAndOnlyNotifiesARestart) {
  ScopedKey entry(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY);
  if (!entry.created()) GTEST_SKIP() << "this prefix has an uninstall entry of the product already";
  const std::wstring earlier = scratch_ / L"old\\Quorrin";
  ASSERT_TRUE(::CreateDirectoryW((scratch_ / L"old").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(earlier.c_str(), nullptr));
  ASSERT_TRUE(CopyInto(StandinPath(L"qrn-recorder.exe"), earlier + L"\\QRN.exe"));
  ASSERT_TRUE(entry.SetString(L"", L"UninstallString", earlier + L"\\uninst.exe"));
  const std::wstring record = scratch_ / L"record.txt";
  ScopedEnv recordTo(L"QRN_RECORD_FILE", record);
  ScopedEnv plan(L"QRN_STANDIN_PLAN", L"p100");

  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  EXPECT_EQ(ui::Text(run.Control(kEditPath)), earlier);
  ASSERT_EQ(ui::Click(run.window(), kStart), "");
  ASSERT_TRUE(WaitForFinished(run));
  ASSERT_EQ(ui::Click(run.window(), kFinish), "");
  EXPECT_TRUE(run.Answer(L"覆盖安装后部分功能需要重启才能使用", IDOK));
  EXPECT_TRUE(run.WaitForExit());
  ::Sleep(1000);
  EXPECT_FALSE(FileExists(record)) << "the product was started after an overwrite install";
}

// Every refusal shows its box, logs its line, and leaves the window in the
// welcome state with the custom area open; nothing is created.
TEST_F(WindowTest, RefusedPathsKeepTheWelcomeStateAndOpenTheCustomArea) {
  const std::wstring unused = UnusedDrive();
  ASSERT_FALSE(unused.empty());
  const std::wstring blocked = scratch_ / L"file.txt";
  ASSERT_TRUE(WriteFileBytes(blocked, "a file where a folder should go"));
  const std::wstring deep = scratch_ / L"deep";
  ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
  // 255 characters: within the 259 the start reads, but "\Quorrin" would overflow.
  const std::wstring tooDeep = deep + L"\\" + std::wstring(255 - deep.size() - 1, L'a');
  const std::wstring overLong = deep + L"\\" + std::wstring(300, L'b');
  const std::wstring small = EnvValue(L"QRN_SMALL_DRIVE");

  struct Case {
    const char* name;
    std::wstring typed;
    const wchar_t* box;
    std::wstring log;
    bool redSpaceLine;  // the drive itself could not be measured
  };
  std::vector<Case> cases = {
      {"no backslash, no drive", L"abc", kInvalidPath, L"选择路径无效：abc\\Quorrin", true},
      {"no such drive", unused + L"\\soft", kInvalidPath, L"选择路径无效：" + unused + L"\\soft\\Quorrin", true},
      {"no room for \\Quorrin", tooDeep, kInvalidPath, L"选择路径无效：" + tooDeep, false},
      {"longer than the start reads", overLong, kInvalidPath, L"选择路径无效：" + overLong, false},
      {"folder cannot be created", blocked + L"\\sub", kInvalidPath,
       L"MakePath() failed：" + blocked + L"\\sub\\Quorrin", false},
  };
  if (!small.empty()) {
    cases.push_back({"50 MB free", small + L"\\dest", kNoSpace, L"磁盘空间不足：" + small + L"\\dest\\Quorrin", false});
  } else {
    ADD_FAILURE() << "no small drive (QRN_SMALL_DRIVE): run through tests/app/with-test-drives.sh";
  }

  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  bool viaEnter = false;
  for (const Case& c : cases) {
    // Collapsed, so that the refusal must open the area; every other case
    // starts with Enter and the agreement unchecked, which the start ignores.
    if (ui::CheckState(run.Control(kCheckCustom)) == BST_CHECKED) {
      ASSERT_EQ(ui::Click(run.window(), kCheckCustom), "") << c.name;
    }
    ASSERT_TRUE(InWelcomeState(run, false)) << c.name;
    viaEnter = !viaEnter;
    if (viaEnter != (ui::CheckState(run.Control(kCheckAgree)) == BST_UNCHECKED)) {
      ASSERT_EQ(ui::Click(run.window(), kCheckAgree), "") << c.name;
    }
    LogWatch log;
    run.SetPath(L"C:\\");  // a drive change, so that the next path is measured afresh
    run.SetPath(c.typed);
    if (viaEnter) {
      ui::PressKey(run.window(), VK_RETURN);
    } else {
      ASSERT_EQ(ui::Click(run.window(), kStart), "") << c.name;
    }
    EXPECT_TRUE(run.Answer(c.box, IDOK)) << c.name;
    EXPECT_TRUE(InWelcomeState(run, true)) << c.name;
    EXPECT_TRUE(log.Contains(c.log)) << c.name << ": log has\n" << log.Appended();
    ui::Image image;
    ASSERT_TRUE(ui::Capture(run.window(), &image));
    EXPECT_EQ(HasRedText(image), c.redSpaceLine) << c.name << ": the red message on the space line";
  }
  EXPECT_EQ(FolderEntries(deep).size(), 0u) << "a refused path was created, cut or whole";
  EXPECT_TRUE(run.Running());
}

// 55 MB free (55 x 1024 x 1024 bytes) is enough; one block less is not.
TEST_F(WindowTest, ExactlyTheRequiredSpaceIsEnough) {
  const std::wstring exact = EnvValue(L"QRN_EXACT_DRIVE");
  if (exact.empty()) GTEST_SKIP() << "no 55 MB drive (QRN_EXACT_DRIVE): run through tests/app/with-test-drives.sh";
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW((exact + L"\\").c_str(), &available, &total, &free));
  ASSERT_EQ(free.QuadPart, 55ull * 1024 * 1024) << "the drive is not exactly 55 MB";

  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  const std::wstring filler = exact + L"\\filler.bin";
  ASSERT_TRUE(WriteFileBytes(filler, "x"));  // takes one block
  run.SetPath(exact + L"\\dest");
  ASSERT_EQ(ui::Click(run.window(), kStart), "");
  EXPECT_TRUE(run.Answer(kNoSpace, IDOK)) << "one block less than 55 MB";

  ASSERT_TRUE(::DeleteFileW(filler.c_str()));
  run.SetPath(L"C:\\");
  EXPECT_TRUE(StartInstalling(run, exact + L"\\dest")) << "exactly 55 MB";
  EXPECT_TRUE(FileExists(exact + L"\\dest\\Quorrin"));
}

TEST_F(WindowTest, ASecondCopyIsRefusedWhileTheFirstRuns) {
  SetupRun first;
  ASSERT_TRUE(first.ok()) << first.error();
  std::string error;
  ui::Program second = ui::Program::Start(StandinPath(L"window-test-setup.exe"), L"", &error);
  ASSERT_TRUE(second) << error;
  HWND box = ui::WaitForMessageBox(second.pid(), 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), L"安装或卸载程序已经在运行！");
  EXPECT_EQ(ui::Text(box), L"Quorrin");
  EXPECT_EQ(ui::TopWindows(second.pid()).size(), 1u) << "the second copy showed more than its box";
  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(second.WaitForExit(15000));
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(InWelcomeState(first, false)) << "the first copy was disturbed";
}

TEST_F(WindowTest, AWindowsOlderThanVistaIsRefused) {
  // Wine answers the version query per program name from AppDefaults.
  const std::wstring copy = scratch_ / L"qrn-xp-setup.exe";
  ASSERT_TRUE(CopyInto(StandinPath(L"window-test-setup.exe"), copy));
  ScopedKey version(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\qrn-xp-setup.exe");
  ASSERT_TRUE(version.created());
  ASSERT_TRUE(version.SetString(L"", L"Version", L"winxp64"));
  std::string error;
  ui::Program old = ui::Program::Start(copy, L"", &error);
  ASSERT_TRUE(old) << error;
  HWND box = ui::WaitForMessageBox(old.pid(), 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), L"操作系统版本过低，必须是Windows 7.0及其以上的版本！");
  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(old.WaitForExit(15000));
}

TEST_F(WindowTest, TheAboutBoxOpensFromTheSystemMenu) {
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  ::PostMessageW(run.window(), WM_SYSCOMMAND, 0x10, 0);
  HWND about = ui::WaitForWindow(run.program().pid(), L"关于 Ovastro", 10000, run.window());
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(ui::Text(::GetDlgItem(about, IDOK)), L"确定");
  ASSERT_TRUE(ui::PressButton(about, IDOK));
  EXPECT_TRUE(ui::WaitForWindowGone(about, 10000));
  EXPECT_TRUE(run.Running());
  EXPECT_TRUE(InWelcomeState(run, false));
}

TEST_F(WindowTest, DraggingTheBackgroundMovesTheWindow) {
  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  const RECT before = ui::WindowRect(run.window());
  // A point on the banner, away from every control.
  const POINT from{before.left + 120, before.top + 150};
  ASSERT_TRUE(ui::Drag(from, POINT{from.x + 60, from.y + 40}));
  ui::Sync(run.window());
  const RECT after = ui::WindowRect(run.window());
  EXPECT_EQ(after.left - before.left, 60);
  EXPECT_EQ(after.top - before.top, 40);
  ui::MoveMouseAway();
}

// .htm files open with the recorder for the time of a test. The prefix has
// no .htm association of its own (Wine reads classes from the machine's
// hive only), so the test makes one there and takes it away again.
class ScopedPageHandler {
 public:
  ScopedPageHandler()
      : extension_(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.htm"),
        handler_(HKEY_LOCAL_MACHINE, L"Software\\Classes\\QrnTestPage") {
    ok_ = extension_.created() && handler_.created() && extension_.SetString(L"", L"", L"QrnTestPage") &&
          handler_.SetString(L"shell\\open\\command", L"", L"\"" + StandinPath(L"qrn-recorder.exe") + L"\" \"%1\"");
  }
  bool ok() const { return ok_; }

 private:
  ScopedKey extension_;
  ScopedKey handler_;
  bool ok_ = false;
};

TEST_F(WindowTest, TheLicenceLinkWritesThePageAndOpensItOnEveryClick) {
  ScopedPageHandler pages;
  ASSERT_TRUE(pages.ok());
  const std::wstring record = scratch_ / L"record.txt";
  ScopedEnv recordTo(L"QRN_RECORD_FILE", record);
  wchar_t data[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data), S_OK);
  const std::wstring page = std::wstring(data) + L"\\Quorrin\\license.htm";
  ::DeleteFileW(page.c_str());

  SetupRun run;
  ASSERT_TRUE(run.ok()) << run.error();
  for (int click = 1; click <= 2; ++click) {
    ::DeleteFileW(page.c_str());
    ASSERT_EQ(ui::Click(run.window(), kLicense), "");
    const std::string bytes = ReadFileBytes(page);
    ASSERT_GE(bytes.size(), 2u) << "click " << click << ": the page was not written";
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE")) << "UTF-16LE with its byte-order mark";
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_NE(text.find(L"Quorrin 用户许可协议"), std::wstring::npos);
  }
  std::string opened;
  for (int i = 0; i < 100; ++i) {
    opened = ReadFileBytes(record);
    size_t count = 0;
    for (size_t at = opened.find("license.htm"); at != std::string::npos; at = opened.find("license.htm", at + 1)) {
      ++count;
    }
    if (count >= 2) break;
    ::Sleep(100);
  }
  size_t count = 0;
  for (size_t at = opened.find("license.htm"); at != std::string::npos; at = opened.find("license.htm", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u) << "each click opens the page: " << opened;
  EXPECT_TRUE(InWelcomeState(run, false));
}

// A DLL named like one Windows loads on demand, beside the setup and allowed
// to load from there (as Windows would search the application's folder),
// must never be loaded into the elevated installer.
TEST_F(WindowTest, ADllPlantedBesideTheSetupIsNotLoaded) {
  const std::wstring folder = scratch_ / L"downloads";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const wchar_t* planted[] = {L"version.dll", L"uxtheme.dll"};
  for (const wchar_t* name : planted) {
    ASSERT_TRUE(CopyInto(StandinPath(L"planted-dll.dll"), folder + L"\\" + name));
  }
  ASSERT_TRUE(CopyInto(StandinPath(L"window-test-setup.exe"), folder + L"\\QuorrinSetup.exe"));
  ASSERT_TRUE(CopyInto(StandinPath(L"plant-probe.exe"), folder + L"\\probe.exe"));
  // Native before built-in for these two names, for these two programs only
  // (Wine's per-program DLL overrides; WINEDLLOVERRIDES would not reach a
  // program started from inside Wine).
  std::vector<std::unique_ptr<ScopedKey>> overrides;
  for (const wchar_t* program : {L"QuorrinSetup.exe", L"probe.exe"}) {
    overrides.push_back(
        std::make_unique<ScopedKey>(HKEY_CURRENT_USER, std::wstring(L"Software\\Wine\\AppDefaults\\") + program));
    ASSERT_TRUE(overrides.back()->created());
    for (const wchar_t* name : {L"version", L"uxtheme"}) {
      ASSERT_TRUE(overrides.back()->SetString(L"DllOverrides", name, L"native,builtin"));
    }
  }
  auto loaded = [&]() {
    std::wstring names;
    for (const wchar_t* name : planted) {
      if (FileExists(folder + L"\\" + name + L".loaded")) names += std::wstring(name) + L" ";
    }
    return names;
  };

  // The control case: a careless program beside the same DLLs loads them.
  {
    std::string error;
    ui::Program probe = ui::Program::Start(folder + L"\\probe.exe", L"", &error);
    ASSERT_TRUE(probe) << error;
    ASSERT_TRUE(probe.WaitForExit(30000));
    ASSERT_EQ(loaded(), L"version.dll uxtheme.dll ") << "the planted DLLs would not be noticed";
    for (const wchar_t* name : planted) ::DeleteFileW((folder + L"\\" + name + L".loaded").c_str());
  }

  ScopedPageHandler pages;
  const std::wstring record = scratch_ / L"record.txt";
  ScopedEnv recordTo(L"QRN_RECORD_FILE", record);
  SetupRun run(folder + L"\\QuorrinSetup.exe");
  ASSERT_EQ(loaded(), L"") << "loaded into the setup at its start";
  ASSERT_TRUE(run.ok()) << run.error();
  // Through what loads the most: the custom area, the licence page through
  // the shell, and the folder picker.
  ASSERT_EQ(ui::Click(run.window(), kCheckCustom), "");
  if (pages.ok()) {
    ASSERT_EQ(ui::Click(run.window(), kLicense), "");
  }
  ::PostMessageW(run.Control(kChangeDir), BM_CLICK, 0, 0);
  HWND picker = ui::WaitForWindow(run.program().pid(), L"", 15000, run.window());
  ASSERT_NE(picker, nullptr) << "no folder picker";
  ::PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(ui::WaitForWindowGone(picker, 10000));
  EXPECT_TRUE(InWelcomeState(run, true)) << "a cancelled picker changes nothing";
  EXPECT_EQ(loaded(), L"") << "loaded into the setup";
}

}  // namespace
}  // namespace qrn::test
