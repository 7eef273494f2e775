// By default the extraction pass reads the payload from the program's own
// file: this test appends an archive to a copy of itself and runs the copy,
// which extracts itself with ExtractArchiveSetup and ExtractUninstaller.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/InstallSettings.h"
#include "payload/ExtractArchive.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

const char kReadme[] = "installed from my own file";
const char kUninstaller[] = "MZ the uninstaller";

// The child's side: extracts its own payload into argv's folder and writes
// the uninstaller over argv's file. Exit code 0 when both succeed.
int ExtractSelf(const wchar_t* folder, const wchar_t* uninstaller) {
  InstallSettings settings;
  settings.installFolder = folder;
  settings.previousUninstallString = uninstaller;
  if (!ExtractUninstaller(settings)) return 10;
  return ExtractArchiveSetup(settings) ? 0 : 11;
}

TEST(ExtractSelfTest, InstallerExtractsThePayloadAppendedToItsOwnFile) {
  const auto bytes = [](const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); };
  test::TempDir dir;
  const std::filesystem::path setup = dir / "setup-copy.exe";
  test::WriteSelfSetup(
      setup, {{"main\\Program\\readme.txt", bytes(kReadme)}, {"main\\Program\\Uninstall.exe", bytes(kUninstaller)}});
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  const std::wstring folder = (dir / "Quorrin").wstring();
  const std::wstring oldUninstaller = (dir / "old-uninstall.exe").wstring();

  EXPECT_EQ(test::RunAndWait(setup, L"--extract-self \"" + folder + L"\" \"" + oldUninstaller + L"\"", 60000), 0u)
      << "10: uninstaller, 11: extraction pass failed";
  const std::vector<uint8_t> readme = test::ReadBytes(dir / "Quorrin" / "readme.txt");
  EXPECT_EQ(std::string(readme.begin(), readme.end()), kReadme);
  const std::vector<uint8_t> uninstaller = test::ReadBytes(oldUninstaller);
  EXPECT_EQ(std::string(uninstaller.begin(), uninstaller.end()), kUninstaller);
}

}  // namespace
}  // namespace qrn

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--extract-self") == 0) return qrn::ExtractSelf(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
