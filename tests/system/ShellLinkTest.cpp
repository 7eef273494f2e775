// CreateShellLink writes real .lnk files; each is read back through the
// shell's own link object (IShellLinkW over IPersistFile::Load).
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "base/Owners.h"
#include "system/ShellLink.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;

test::ShellLinkData Read(const fs::path& link) { return test::ReadShellLink(link); }

class ShellLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.path() / L"Quorrin 软件版";
    fs::create_directories(folder_);
    // Real targets, as after an installation.
    for (const char* name : {"QRN.exe", "QRN.ico", "Uninstall.exe"}) test::WriteBytes(folder_ / name, {'M', 'Z'});
  }
  std::wstring Folder() const { return folder_.wstring(); }

  test::TempDir dir_;
  fs::path folder_;
};

// Target, working folder (the target's folder) and icon read back; nothing
// else is set. Rows follow the shortcuts of an installation.
TEST_F(ShellLinkTest, WritesTargetWorkingFolderAndIcon) {
  struct Case {
    const char* name;
    std::wstring target, icon, expectedFolder;
  };
  const Case cases[] = {
      {"with icon", Folder() + L"\\QRN.exe", Folder() + L"\\QRN.ico", Folder()},
      {"no icon: the target's own", Folder() + L"\\Uninstall.exe", L"", Folder()},
      {"target in a missing sub-folder", Folder() + L"\\tools\\SecureDel.exe", L"", Folder() + L"\\tools"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path link = dir_ / (std::string("link ") + std::to_string(&c - cases) + ".lnk");
    test::LogCapture log;
    ASSERT_TRUE(CreateShellLink(c.target, link.wstring(), c.icon));
    EXPECT_TRUE(log.Messages().empty());
    const test::ShellLinkData read = Read(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(c.target, read.target);
    EXPECT_EQ(c.expectedFolder, read.workingFolder);
    EXPECT_EQ(c.icon, read.iconPath);
    if (!c.icon.empty()) {
      EXPECT_EQ(0, read.iconIndex);
    }
    EXPECT_EQ(L"", read.arguments);
    EXPECT_EQ(L"", read.description);
    EXPECT_EQ(0, read.hotKey);
  }
}

// A second installation writes over the first one's link file.
TEST_F(ShellLinkTest, OverwritesAnExistingLink) {
  const fs::path link = dir_.path() / L"启动Quorrin.lnk";
  ASSERT_TRUE(CreateShellLink(Folder() + L"\\Uninstall.exe", link.wstring(), L""));
  ASSERT_TRUE(CreateShellLink(Folder() + L"\\QRN.exe", link.wstring(), Folder() + L"\\QRN.ico"));
  const test::ShellLinkData read = Read(link);
  EXPECT_EQ(Folder() + L"\\QRN.exe", read.target);
  EXPECT_EQ(Folder() + L"\\QRN.ico", read.iconPath);
}

// A link that cannot be saved is logged, yet counts as created once the link
// object was there: the caller goes on with its next shortcut.
TEST_F(ShellLinkTest, AFailedSaveIsLoggedButNotAFailure) {
  const fs::path link = dir_.path() / L"no such folder" / L"x.lnk";
  test::LogCapture log;
  EXPECT_TRUE(CreateShellLink(Folder() + L"\\QRN.exe", link.wstring(), L""));
  EXPECT_FALSE(fs::exists(link));
  ASSERT_EQ(1u, log.Messages().size());
  EXPECT_EQ(0u, log.Messages()[0].rfind("error:Save failed, error code:", 0));
}

// COM is paired per call: a thread already in the multi-threaded apartment
// keeps it, and the call still writes its link.
TEST_F(ShellLinkTest, WorksOnAThreadAlreadyInAnotherApartment) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  const fs::path link = dir_.path() / L"mta.lnk";
  EXPECT_TRUE(CreateShellLink(Folder() + L"\\QRN.exe", link.wstring(), L""));
  // Still in the multi-threaded apartment: an unbalanced CoUninitialize would have ended it.
  EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  CoUninitialize();
  EXPECT_TRUE(fs::exists(link));
}

TEST(TargetFolderTest, IsEverythingBeforeTheLastBackslash) {
  struct Case {
    const wchar_t* target;
    const wchar_t* folder;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\Quorrin\\QRN.exe", L"C:\\Program Files\\Quorrin"},
      {L"C:\\QRN.exe", L"C:"},
      {L"QRN.exe", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.folder), TargetFolder(c.target)) << c.target;
}

}  // namespace
}  // namespace qrn
