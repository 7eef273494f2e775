// The parts of the extraction pass that need no system folder: the folder-tag
// table and its safety rules, the name lists, the install record, the
// progress formula and the entry decoder's error checks.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "payload/ArchiveIndex.h"
#include "payload/ArchiveRouting.h"
#include "payload/EntryDecoder.h"
#include "payload/ExtractArchive.h"
#include "payload/FileEntryOutput.h"
#include "payload/InstallInfo.h"
#include "payload/MapArchivePath.h"
#include "payload/MvsReader.h"
#include "payload/NameLists.h"
#include "tests/payload/SetupBuilder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using namespace archive;
using test::LogCapture;
using test::TempDir;

std::string Narrow(const std::wstring& text) { return fs::path(text).string(); }

RouteFolders Folders(bool wow64) {
  RouteFolders f;
  f.wow64 = wow64;
  f.installFolder = L"D:\\Apps\\Quorrin";
  f.systemX86Dir = L"C:\\Windows\\SysWOW64";
  f.driversDir = L"C:\\Windows\\System32\\drivers";
  return f;
}

TEST(RouteTest, FolderTagTableForBothWordSizes) {
  const struct {
    const wchar_t* name;
    const wchar_t* on64;  // destination on 64-bit Windows; null: excluded
    const wchar_t* on32;
  } cases[] = {
      {L"main\\Program\\Uninstall.exe", L"D:\\Apps\\Quorrin\\Uninstall.exe", L"D:\\Apps\\Quorrin\\Uninstall.exe"},
      {L"MAIN\\PROGRAM\\a\\b.txt", L"D:\\Apps\\Quorrin\\a\\b.txt", L"D:\\Apps\\Quorrin\\a\\b.txt"},
      {L"any\\program\\x.txt", L"D:\\Apps\\Quorrin\\x.txt", L"D:\\Apps\\Quorrin\\x.txt"},
      {L"main\\System32\\q.dll", L"C:\\Windows\\SysWOW64\\q.dll", L"C:\\Windows\\SysWOW64\\q.dll"},
      {L"main\\SYSTEM32\\q.dll", L"C:\\Windows\\SysWOW64\\q.dll", L"C:\\Windows\\SysWOW64\\q.dll"},
      {L"sys\\64\\qrn.sys", L"C:\\Windows\\System32\\drivers\\qrn.sys", nullptr},
      {L"SYS\\32\\qrn.sys", nullptr, L"C:\\Windows\\System32\\drivers\\qrn.sys"},
      {L"sys\\Program\\x.txt", nullptr, nullptr},  // "sys" routes only by bitness
      {L"32\\Program\\a.txt", nullptr, L"D:\\Apps\\Quorrin\\a.txt"},
      {L"en32\\Program\\a.txt", nullptr, L"D:\\Apps\\Quorrin\\a.txt"},
      {L"CH32\\Program\\a.txt", nullptr, L"D:\\Apps\\Quorrin\\a.txt"},
      {L"64\\Program\\a.txt", L"D:\\Apps\\Quorrin\\a.txt", nullptr},
      {L"En64\\Program\\a.txt", L"D:\\Apps\\Quorrin\\a.txt", nullptr},
      {L"ch64\\System32\\b.dll", L"C:\\Windows\\SysWOW64\\b.dll", nullptr},
      {L"fr32x\\Program\\a.txt", L"D:\\Apps\\Quorrin\\a.txt", L"D:\\Apps\\Quorrin\\a.txt"},  // just a tag
      {L"main\\Other\\a.txt", nullptr, nullptr},
      {L"main\\Program", nullptr, nullptr},  // no backslash after the second component
      {L"main", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    for (const bool wow64 : {true, false}) {
      const wchar_t* expected = wow64 ? c.on64 : c.on32;
      std::wstring destination;
      const RouteResult result = RouteArchiveName(c.name, Folders(wow64), &destination);
      if (expected == nullptr) {
        EXPECT_EQ(result, RouteResult::kExcluded) << Narrow(c.name) << (wow64 ? " on 64-bit" : " on 32-bit");
      } else {
        EXPECT_EQ(result, RouteResult::kRouted) << Narrow(c.name) << (wow64 ? " on 64-bit" : " on 32-bit");
        EXPECT_EQ(destination, expected) << Narrow(c.name);
      }
    }
  }
}

TEST(RouteTest, NamesThatWouldLeaveTheirFolderAreRefused) {
  const wchar_t* unsafe[] = {
      L"main\\Program\\..\\..\\evil.txt",
      L"main\\Program\\sub\\..\\..\\..\\evil.txt",
      L"main\\Program\\.\\x.txt",
      L"main\\Program\\. .\\x.txt",
      L"main\\Program\\...\\x.txt",
      L"main\\Program\\\\evil.txt",    // leading backslash in the rest
      L"main\\Program\\a\\\\b.txt",    // empty component
      L"main\\Program\\",              // nothing after the folder
      L"main\\Program\\dir\\",         // trailing backslash
      L"main\\Program\\C:\\evil.txt",  // drive letter
      L"main\\Program\\C:evil.txt",
      L"main\\Program\\a.txt:stream",      // alternate data stream
      L"main\\Program\\a/../../evil.txt",  // Win32 takes slashes as separators
      L"main\\Program\\NUL",
      L"main\\Program\\con.txt",
      L"main\\Program\\sub\\COM1.log",
      L"main\\Program\\lpt9",
      L"main\\Program\\COM\u00B9.txt",  // superscript digits name ports too
      L"main\\Program\\lpt\u00B2",
      L"main\\Program\\Com\u00B3 .log",
      L"main\\Program\\a*.txt",
      L"main\\Program\\tab\there.txt",
      L"sys\\64\\..\\evil.sys",
      L"main\\System32\\..\\evil.dll",
  };
  for (const wchar_t* name : unsafe) {
    for (const bool wow64 : {true, false}) {
      std::wstring destination = L"untouched";
      const RouteResult result = RouteArchiveName(name, Folders(wow64), &destination);
      EXPECT_NE(result, RouteResult::kRouted) << Narrow(name);
      EXPECT_EQ(destination, L"untouched") << Narrow(name);
    }
  }
  // Plain names with dots, blanks and Chinese characters stay allowed.
  for (const wchar_t* name : {L"main\\Program\\a..b.txt", L"main\\Program\\.hidden", L"main\\Program\\说明 1.txt",
                              L"main\\Program\\console.txt", L"main\\Program\\COM10.txt", L"main\\Program\\nul2"}) {
    std::wstring destination;
    EXPECT_EQ(RouteArchiveName(name, Folders(true), &destination), RouteResult::kRouted) << Narrow(name);
  }
}

TEST(RouteTest, UnknownFolderIsNeverReplacedByTheDriveRoot) {
  RouteFolders folders = Folders(true);
  folders.systemX86Dir.clear();
  std::wstring destination;
  EXPECT_EQ(RouteArchiveName(L"main\\System32\\q.dll", folders, &destination), RouteResult::kNoFolder);
  LogCapture log;
  EXPECT_FALSE(MapArchivePath(L"", L"main\\Program\\a.txt", &destination));
  EXPECT_TRUE(log.Contains("$error:no destination folder for entry, skipped, name:main\\Program\\a.txt"));
  EXPECT_FALSE(MapArchivePath(L"D:\\Q", L"main\\Program\\..\\a.txt", &destination));
  EXPECT_TRUE(log.Contains("$error:unsafe entry name, skipped, name:main\\Program\\..\\a.txt"));
}

TEST(NameListTest, ListsCompareBaseNamesIgnoringCase) {
  const struct {
    const wchar_t* name;
    BOOL runtime, userData, skipped;
  } cases[] = {
      {L"mfc42.dll", TRUE, FALSE, FALSE},        {L"MSVCP60.DLL", TRUE, FALSE, FALSE},
      {L"msvcrt.dll", TRUE, FALSE, FALSE},       {L"msvcrtd.dll", TRUE, FALSE, FALSE},
      {L"msvcp100.dll", TRUE, FALSE, FALSE},     {L"Msvcr100.Dll", TRUE, FALSE, FALSE},
      {L"msvcr120.dll", FALSE, FALSE, FALSE},    {L"UserList.db", FALSE, TRUE, TRUE},
      {L"userlist.DB", FALSE, TRUE, TRUE},       {L"tolvek.conf", FALSE, TRUE, TRUE},
      {L"NEWS.XML", FALSE, TRUE, TRUE},          {L"services.xml", FALSE, TRUE, TRUE},
      {L"UserInfo.db", FALSE, TRUE, TRUE},       {L"network.CONF", FALSE, TRUE, TRUE},
      {L"banner.png", FALSE, TRUE, TRUE},        {L"BannerH.png", FALSE, TRUE, TRUE},
      {L"banner.svg", FALSE, TRUE, TRUE},        {L"banner.jpg", FALSE, FALSE, FALSE},
      {L"installinfo.DB", FALSE, FALSE, TRUE},   {L"SetupInfo.dat", FALSE, FALSE, TRUE},
      {L"UserList.db.bak", FALSE, FALSE, FALSE}, {L"", FALSE, FALSE, FALSE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsRuntimeDll(c.name), c.runtime) << Narrow(c.name);
    EXPECT_EQ(IsUserDataFile(c.name), c.userData) << Narrow(c.name);
    EXPECT_EQ(IsSkippedFile(c.name), c.skipped) << Narrow(c.name);
  }
}

TEST(InstallInfoTest, OneAnsiLinePerPathEndingInABareLineFeed) {
  TempDir dir;
  const std::wstring folder = dir.path().wstring();
  ASSERT_TRUE(WriteInstallInfo(folder, {L"C:\\Q\\a.txt", L"", L"C:\\Q\\说明.txt", L"C:\\Q\\\u0e01.txt"}));
  const std::vector<uint8_t> bytes = test::ReadBytes(dir / "InstallInfo.db");
  // No header, no CR, no NUL; the empty path is left out; a character
  // without a form in code page 936 is written as the code page converts it.
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "C:\\Q\\a.txt\nC:\\Q\\\xcb\xb5\xc3\xf7.txt\nC:\\Q\\?.txt\n");
  ASSERT_TRUE(WriteInstallInfo(folder, {}));
  EXPECT_TRUE(test::ReadBytes(dir / "InstallInfo.db").empty()) << "written anew";
}

TEST(InstallInfoTest, RecordThatCannotBeCreatedIsLogged) {
  TempDir dir;
  LogCapture log;
  EXPECT_FALSE(WriteInstallInfo((dir / "missing").wstring(), {L"C:\\a"}));
  EXPECT_TRUE(log.Contains("$error:CreateFile() failed, error code:3 path:" + (dir / "missing").string() +
                           "\\InstallInfo.db\r\n"));
}

TEST(ProgressTest, SeventyPercentSpreadOverTheEntriesInSinglePrecision) {
  const struct {
    uint32_t i, n;
    int32_t progress;
  } cases[] = {
      {0, 133, 10},
      {1, 133, 10},
      {2, 133, 11},
      {66, 133, 44},
      {132, 133, 79},
      {0, 1, 10},
      {1, 2, 45},
      {0, 0, 10},
      // Where single and double precision part: 70 * 142307 / 174763 is
      // 56.9999... in double, 57 in float.
      {142307, 174763, 67},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractionProgress(c.i, c.n), c.progress) << c.i << " of " << c.n;
}

TEST(EntryDecoderTest, AFailedWriteFailsTheEntry) {
  TempDir dir;
  const std::vector<uint8_t> data(300000, 'q');
  ASSERT_TRUE(test::WriteSetup(dir / "setup.exe", {{"main\\Program\\a.bin", data}}));
  UniqueMvsFile reader(MvsOpen((dir / "setup.exe").wstring().c_str()));
  ASSERT_NE(reader.get(), kMvsInvalid);
  uint8_t header[kHeaderSize];
  ASSERT_TRUE(MvsReadHeader(reader.get(), header));
  ArchiveIndex index;
  std::string detail;
  ASSERT_EQ(LoadArchiveIndex(reader.get(), DecodeHeader(header), &index, &detail), IndexStatus::kOk);
  EntryDecoder decoder;
  ASSERT_TRUE(decoder.Init());

  test::WriteBytes(dir / "target.bin", {});
  UniqueFile readOnly(CreateFileW((dir / "target.bin").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(readOnly);
  FileEntryOutput toReadOnly(readOnly.get());
  EXPECT_EQ(decoder.Decode(reader.get(), kZlib, index.entries[0], toReadOnly, &detail), DecodeStatus::kWriteFailed);
  EXPECT_EQ(detail, "WriteFile() failed, error code:5");
  readOnly.reset();

  // The same decoder goes on with the next entry as if nothing happened.
  UniqueFile writable(
      CreateFileW((dir / "target.bin").wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  FileEntryOutput toWritable(writable.get());
  ASSERT_EQ(decoder.Decode(reader.get(), kZlib, index.entries[0], toWritable, &detail), DecodeStatus::kOk);
  writable.reset();
  EXPECT_EQ(test::ReadBytes(dir / "target.bin"), data);
}

}  // namespace
}  // namespace qrn
