// Folder creation under Wine: parents first, drives only checked, names
// without a parent refused, and a failed creation logged.
#include <gtest/gtest.h>

#include <filesystem>

#include "system/MakePath.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;
using test::TempDir;

TEST(MakePathTest, CreatesEveryMissingFolderOutermostFirst) {
  TempDir dir;
  LogCapture log;
  const fs::path deepest = dir / "a\\b\\c";
  EXPECT_TRUE(MakePath(deepest.wstring()));
  EXPECT_TRUE(fs::is_directory(dir / "a"));
  EXPECT_TRUE(fs::is_directory(deepest));
  // Existing: TRUE, nothing to create, nothing logged.
  EXPECT_TRUE(MakePath(deepest.wstring()));
  // One trailing backslash is ignored.
  EXPECT_TRUE(MakePath((dir / "x\\y").wstring() + L"\\"));
  EXPECT_TRUE(fs::is_directory(dir / "x\\y"));
  EXPECT_EQ(log.Text(), "");
}

TEST(MakePathTest, DrivesAreOnlyCheckedAndNamesWithoutParentRefused) {
  TempDir dir;
  LogCapture log;
  const struct {
    const wchar_t* path;
    BOOL result;
  } cases[] = {
      {L"C:", TRUE},  {L"C:\\", TRUE},  {L"c:", TRUE},  // drive C exists in every prefix
      {L"R:", FALSE}, {L"R:\\", FALSE},                 // no such drive
      {L"", FALSE},   {L"a", FALSE},    {L"\\", FALSE}, {L"abc", FALSE}, {L"\\abc", FALSE},  // no parent to make
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakePath(c.path), c.result) << fs::path(c.path).string();
  }
  EXPECT_FALSE(fs::exists(fs::current_path() / "abc"));
  EXPECT_EQ(log.Text(), "");
}

TEST(MakePathTest, AFileInTheWayFailsAndIsLogged) {
  TempDir dir;
  test::WriteBytes(dir / "plain", {1, 2, 3});
  LogCapture log;
  // The file itself is no folder...
  EXPECT_FALSE(MakePath((dir / "plain").wstring()));
  EXPECT_TRUE(log.Contains("$error:CreateDirectory() failed, error code:183\r\n"));
  // ...and no folder can be made inside it; the folders made before stay.
  EXPECT_FALSE(MakePath((dir / "made\\plain2").wstring()) && MakePath((dir / "plain\\sub\\deeper").wstring()));
  EXPECT_TRUE(fs::is_directory(dir / "made\\plain2"));
  EXPECT_EQ(test::ReadBytes(dir / "plain"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(log.Contains("@MakePath.cpp("));
}

}  // namespace
}  // namespace qrn
