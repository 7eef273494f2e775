// The extraction pass under Wine, from setups built with the real writer:
// routing into the install folder and the real system folders for both word
// sizes, the install record byte for byte, times and attributes, and the
// sound handling of damaged or hostile archives. Writes into the prefix's
// system folders (EXCLUSIVE) and removes what it put there.
//
// The rows for both word sizes set IsWow64's answer: the 64-bit build stands
// in for the 32-bit installer; the 32-bit build in the 64-bit prefix runs
// the 64-bit row as the real WoW64 process it is (redirection switched off
// for real).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "engine/InstallSettings.h"
#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/EntryWorkers.h"
#include "payload/ExtractArchive.h"
#include "payload/InstallInfo.h"
#include "system/SetupInfo.h"
#include "tests/payload/SetupBuilder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using namespace archive;
using test::Bytes;
using test::Gbk;
using test::LogCapture;
using test::RandomBytes;
using test::SetupEntry;
using test::TempDir;

MvsFileTimes Times(uint64_t base) {
  MvsFileTimes t{};
  t.creationTime = base;
  t.lastWriteTime = base + 100000000ull;  // 10 s later
  t.lastAccessTime = base + 200000000ull;
  return t;
}

constexpr uint64_t k2020 = 132266304000000000ull;  // 2020-02-20 00:00 UTC

uint64_t LastWrite(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.wstring().c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

std::string Text(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Switches redirection off and on around the pass as the install thread
// does, only where IsWow64 is TRUE.
class RedirectionBracket {
 public:
  RedirectionBracket() {
    if (!IsWow64()) return;
    EXPECT_TRUE(LoadSys64Fun());
    const bool off = DisableWow64Redirection(&old_);
    BOOL realWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &realWow64);
    // A 64-bit process standing in for the installer has nothing to
    // redirect, and Windows refuses the switch; the real one must succeed.
    if (realWow64) {
      EXPECT_TRUE(off);
    }
  }
  ~RedirectionBracket() {
    if (!IsWow64()) return;
    EXPECT_TRUE(EnableWow64Redirection(old_));
    FreeSys64Fun();
  }

 private:
  PVOID old_ = nullptr;
};

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = dir_ / "Program Files" / "Quorrin 安装";
    settings_.installFolder = install_.wstring();
    settings_.progressTarget = 10;
    setup_ = dir_ / "setup.exe";
  }
  void TearDown() override { SetIsWow64ForTesting(-1); }

  BOOL Extract() {
    RedirectionBracket redirection;
    return ExtractArchiveSetup(settings_, setup_.wstring());
  }
  // Files under the scratch folder, relative to it, setup and logs aside.
  std::vector<std::string> FilesUnder(const fs::path& root) const {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file() && e.path() != setup_) files.push_back(fs::relative(e.path(), root).string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir dir_;
  fs::path install_;
  fs::path setup_;
  InstallSettings settings_;
};

// ---- Routing for real, both word sizes ----

class RoutingTest : public ExtractTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    const std::wstring tag = L"qrn-extract-test-" + std::to_wstring(GetCurrentProcessId());
    x86File_ = fs::path(GetSystemX86Dir()) / (tag + L".dll");
    // A 32-bit test on 64-bit Windows finds what the pass wrote with
    // redirection off in the native folder.
    drivers64_ = (test::UnderWow64() ? test::NativeDriversFolder() : fs::path(GetDriversDir())) / (tag + L"-64.sys");
    drivers32_ = fs::path(GetDriversDir()) / (tag + L"-32.sys");
  }
  void TearDown() override {
    for (const fs::path& p : {x86File_, drivers64_, drivers32_}) DeleteFileW(p.wstring().c_str());
    ExtractTest::TearDown();
  }
  fs::path x86File_, drivers64_, drivers32_;
};

TEST_P(RoutingTest, PlacesEveryTagKindAndWritesTheRecordByteForByte) {
  const bool wow64 = GetParam();
  SetIsWow64ForTesting(wow64 ? 1 : 0);
  const std::string x86Name = Gbk(x86File_.filename().wstring());
  const std::string d64Name = Gbk(drivers64_.filename().wstring());
  const std::string d32Name = Gbk(drivers32_.filename().wstring());
  std::vector<SetupEntry> entries = {
      {"main\\Program\\docs", {}, FILE_ATTRIBUTE_DIRECTORY, Times(k2020), true},
      {"main\\Program\\readme.txt", Bytes("readme"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020)},
      {Gbk(L"main\\program\\docs\\说明.txt"), Bytes("说明"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 1)},
      {"MAIN\\PROGRAM\\Upper.txt", Bytes("upper"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 2)},
      {"main\\Program\\Uninstall.exe", Bytes("MZ uninstaller"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 3)},
      {"main\\Program\\MSVCR100.DLL", Bytes("runtime"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 4)},
      {"main\\Program\\UserList.db", Bytes("packed user list"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 5)},
      {"main\\Program\\data\\userlist.DB", Bytes("packed user list 2"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 6)},
      {"main\\Program\\InstallInfo.db", Bytes("packed record"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 7)},
      {"main\\Program\\SetupInfo.dat", Bytes("packed setup info"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 8)},
      {"main\\System32\\" + x86Name, Bytes("x86 library"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 9)},
      {"sys\\64\\" + d64Name, Bytes("driver 64"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 10)},
      {"SYS\\32\\" + d32Name, Bytes("driver 32"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 11)},
      {"en32\\Program\\only32.txt", Bytes("32"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 12)},
      {"ch64\\Program\\only64.txt", Bytes("64"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 13)},
      {"En64\\program\\also64.txt", Bytes("64 too"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 14)},
      {"Ch32\\Program\\also32.txt", Bytes("32 too"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 15)},
      {"main\\Other\\x.txt", Bytes("other"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 16)},
      {"main\\x.txt", Bytes("no second component"), FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 17)},
      {"main\\Program\\empty.txt", {}, FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 18)},
      {"main\\Program\\hidden.ini", Bytes("[x]"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, Times(k2020 + 19)},
  };
  ASSERT_TRUE(test::WriteSetup(setup_, entries));
  // The user's own list from an earlier installation.
  fs::create_directories(install_);
  test::WriteBytes(install_ / "UserList.db", Bytes("the user's own list"));

  ASSERT_TRUE(Extract());

  // The expected record, line by line: install folder (I), 32-bit system
  // folder (X) and drivers folder (D) filled in below.
  std::vector<std::wstring> lines = {L"I\\readme.txt", L"I\\docs\\说明.txt", L"I\\Upper.txt", L"I\\Uninstall.exe",
                                     // MSVCR100.DLL: a runtime library, extracted but not recorded
                                     L"I\\UserList.db", L"I\\data\\userlist.DB", L"I\\InstallInfo.db",
                                     L"I\\SetupInfo.dat", L"X\\" + x86File_.filename().wstring()};
  if (wow64) {
    lines.push_back(L"D\\" + drivers64_.filename().wstring());
    lines.insert(lines.end(), {L"I\\only64.txt", L"I\\also64.txt"});
  } else {
    lines.push_back(L"D\\" + drivers32_.filename().wstring());
    lines.insert(lines.end(), {L"I\\only32.txt", L"I\\also32.txt"});
  }
  lines.insert(lines.end(), {L"I\\empty.txt", L"I\\hidden.ini"});
  std::string expected;
  for (std::wstring line : lines) {
    const wchar_t kind = line[0];
    line = (kind == L'I' ? install_.wstring() : kind == L'X' ? GetSystemX86Dir() : GetDriversDir()) + line.substr(1);
    expected += Gbk(line) + "\n";
  }
  EXPECT_EQ(Text(install_ / "InstallInfo.db"), expected);

  // The tree.
  EXPECT_EQ(Text(install_ / "readme.txt"), "readme");
  EXPECT_EQ(Text(install_ / L"docs" / L"说明.txt"), "说明");
  EXPECT_EQ(Text(install_ / "Upper.txt"), "upper");
  EXPECT_EQ(Text(install_ / "Uninstall.exe"), "MZ uninstaller");
  EXPECT_EQ(Text(install_ / "MSVCR100.DLL"), "runtime");
  EXPECT_EQ(Text(install_ / "UserList.db"), "the user's own list") << "user data is never overwritten";
  EXPECT_FALSE(fs::exists(install_ / "data" / "userlist.DB")) << "nor created";
  EXPECT_FALSE(fs::exists(install_ / "SetupInfo.dat"));
  EXPECT_EQ(Text(x86File_), "x86 library");
  EXPECT_EQ(fs::exists(drivers64_), wow64);
  EXPECT_EQ(fs::exists(drivers32_), !wow64);
  EXPECT_EQ(Text(wow64 ? drivers64_ : drivers32_), wow64 ? "driver 64" : "driver 32");
  EXPECT_EQ(fs::exists(install_ / "only64.txt"), wow64);
  EXPECT_EQ(fs::exists(install_ / "also64.txt"), wow64);
  EXPECT_EQ(fs::exists(install_ / "only32.txt"), !wow64);
  EXPECT_EQ(fs::exists(install_ / "also32.txt"), !wow64);
  EXPECT_FALSE(fs::exists(install_ / "x.txt"));
  EXPECT_TRUE(fs::exists(install_ / "empty.txt"));
  EXPECT_EQ(fs::file_size(install_ / "empty.txt"), 0u);

  // Times and attributes from the archive.
  EXPECT_EQ(LastWrite(install_ / "readme.txt"), Times(k2020).lastWriteTime);
  // (Creation times cannot be checked here: Wine keeps none on Linux file
  // systems and reports one derived from the other times.)
  EXPECT_EQ(LastWrite(install_ / "empty.txt"), Times(k2020 + 18).lastWriteTime);
  EXPECT_EQ(LastWrite(x86File_), Times(k2020 + 9).lastWriteTime);
  EXPECT_NE(GetFileAttributesW((install_ / "hidden.ini").wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(GetFileAttributesW((install_ / "readme.txt").wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  // Progress stood before the last entry; the status line names the last file written.
  const uint32_t n = static_cast<uint32_t>(entries.size());
  EXPECT_EQ(settings_.progressTarget.load(), ExtractionProgress(n - 1, n));
  EXPECT_EQ(settings_.statusLine.Get(), L"正在解压文件：hidden.ini");
}

INSTANTIATE_TEST_SUITE_P(WordSize, RoutingTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Windows64" : "Windows32"; });

// ---- Damaged and hostile archives ----

// Flips one byte in the middle of entry `i`'s packed data.
void FlipInsideEntry(const fs::path& setup, size_t i) {
  UniqueMvsFile reader(MvsOpen(setup.wstring().c_str()));
  ASSERT_NE(reader.get(), kMvsInvalid);
  uint8_t header[kHeaderSize];
  ASSERT_TRUE(MvsReadHeader(reader.get(), header));
  ArchiveIndex index;
  std::string detail;
  ASSERT_EQ(LoadArchiveIndex(reader.get(), DecodeHeader(header), &index, &detail), IndexStatus::kOk);
  const MvsEntry& entry = index.entries.at(i).entry;
  std::vector<uint8_t> bytes = test::ReadBytes(setup);
  bytes[test::StreamFileOffset(entry.dataOffset + entry.packedSize / 2)] ^= 0x01;
  reader.reset();
  test::WriteBytes(setup, bytes);
}

class CorruptionTest : public ExtractTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(CorruptionTest, OneFlippedByteInsideAnEntryFailsThePassAndNamesTheFile) {
  ArchiveOptions options;
  options.compression = GetParam();
  std::vector<uint8_t> text;
  for (int i = 0; i < 2000; ++i) text.push_back(static_cast<uint8_t>('a' + i % 7));
  ASSERT_TRUE(test::WriteSetup(setup_,
                               {{"main\\Program\\first.txt", Bytes("first")},
                                {"main\\Program\\broken.bin", text},
                                {"main\\Program\\after.txt", Bytes("after")}},
                               options));
  FlipInsideEntry(setup_, 1);
  LogCapture log;
  EXPECT_FALSE(Extract());
  EXPECT_TRUE(log.Contains("$error:extracting file failed, path:" + Gbk(install_.wstring()) + "\\broken.bin"))
      << log.Text();
  EXPECT_FALSE(fs::exists(install_ / "InstallInfo.db")) << "no record after a failed pass";
  EXPECT_FALSE(fs::exists(install_ / "after.txt")) << "the pass stops at the damaged entry";
  EXPECT_EQ(Text(install_ / "first.txt"), "first") << "what was written before stays";
}

INSTANTIATE_TEST_SUITE_P(Compression, CorruptionTest, ::testing::Values(kStored, kZlib),
                         [](const auto& info) { return info.param == kStored ? "Stored" : "Zlib"; });

TEST_F(ExtractTest, TraversalNamesWriteNothingOutsideTheInstallFolder) {
  install_ = dir_ / "a" / "b" / "install";
  settings_.installFolder = install_.wstring();
  ASSERT_TRUE(test::WriteSetup(setup_, {
                                           {"main\\Program\\..\\..\\evil.txt", Bytes("evil")},
                                           {"main\\Program\\sub\\..\\..\\..\\evil2.txt", Bytes("evil")},
                                           {"main\\Program\\a/../../evil3.txt", Bytes("evil")},
                                           {"main\\Program\\\\evil4.txt", Bytes("evil")},
                                           {"main\\Program\\good.txt:evil5", Bytes("evil")},
                                           {"main\\Program\\good.txt", Bytes("good")},
                                       }));
  LogCapture log;
  ASSERT_TRUE(Extract());
  EXPECT_TRUE(log.Contains("$error:unsafe entry name, skipped, name:main\\Program\\..\\..\\evil.txt"));
  // Only the good file and the record exist anywhere under the scratch folder.
  EXPECT_EQ(FilesUnder(dir_.path()),
            (std::vector<std::string>{"a\\b\\install\\InstallInfo.db", "a\\b\\install\\good.txt"}));
  EXPECT_EQ(Text(install_ / "good.txt"), "good");
  EXPECT_EQ(Text(install_ / "InstallInfo.db"), Gbk(install_.wstring()) + "\\good.txt\n");
  EXPECT_FALSE(fs::exists("C:\\evil4.txt"));
}

// Patches one little-endian field of a setup written without cipher.
void Patch32(std::vector<uint8_t>& bytes, uint64_t fileOffset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[fileOffset + i] = static_cast<uint8_t>(value >> (8 * i));
}
void Patch64(std::vector<uint8_t>& bytes, uint64_t fileOffset, uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes[fileOffset + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST_F(ExtractTest, DamagedIndexIsRefusedBeforeAnythingIsWritten) {
  ArchiveOptions plain;
  plain.cipher = kCipherNone;  // so that the index can be patched in place
  ASSERT_TRUE(test::WriteSetup(
      setup_, {{"main\\Program\\a.txt", Bytes("aaaa")}, {"main\\Program\\b.txt", Bytes("bbbb")}}, plain));
  const std::vector<uint8_t> good = test::ReadBytes(setup_);
  const MvsHeader header = DecodeHeader(good.data() + test::kStubSize);
  // Entry 1 (b.txt) in the file.
  const uint64_t entry = test::StreamFileOffset(header.indexOffset + kMagicSize + kEntrySize);
  const uint64_t stream = good.size() - test::kStubSize - kHeaderSize - 4;

  const struct {
    const char* what;
    void (*damage)(std::vector<uint8_t>&, uint64_t entry, uint64_t stream);
  } cases[] = {
      {"name longer than 260", [](auto& b, uint64_t e, uint64_t) { Patch32(b, e + 24, 261); }},
      {"name beyond the pool", [](auto& b, uint64_t e, uint64_t) { Patch32(b, e + 28, 0xFFFFFF00u); }},
      {"data beyond the stream", [](auto& b, uint64_t e, uint64_t s) { Patch64(b, e + 16, s - 2); }},
      {"size beyond the stream", [](auto& b, uint64_t e, uint64_t s) { Patch64(b, e + 8, s); }},
      {"huge offset", [](auto& b, uint64_t e, uint64_t) { Patch64(b, e + 16, ~uint64_t{0} - 1); }},
      {"more entries than the stream holds",
       [](auto& b, uint64_t, uint64_t) { Patch32(b, test::kStubSize + 32, 0x7FFFFFF0u); }},
      {"name pool beyond the stream",
       [](auto& b, uint64_t, uint64_t) { Patch32(b, test::kStubSize + 36, 0x10000000u); }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes, entry, stream);
    test::WriteBytes(setup_, bytes);
    LogCapture log;
    EXPECT_FALSE(Extract()) << c.what;
    EXPECT_FALSE(fs::exists(install_)) << c.what << ": nothing may be written";
    EXPECT_TRUE(log.Contains("$error:damaged archive refused: ")) << c.what << "\n" << log.Text();
    settings_.previousUninstallString = (dir_ / "Uninstall.exe").wstring();
    EXPECT_FALSE(ExtractUninstaller(settings_, setup_.wstring())) << c.what;
    EXPECT_FALSE(fs::exists(dir_ / "Uninstall.exe")) << c.what;
  }
}

TEST_F(ExtractTest, UnsupportedCompressionIsRefusedBeforeAnythingIsWritten) {
  for (const uint32_t method : {2u, 9u}) {
    ArchiveOptions options;
    options.compression = method;
    ASSERT_TRUE(test::WriteSetup(setup_, {{"main\\Program\\a.txt", Bytes("aaaa")}}, options));
    LogCapture log;
    EXPECT_FALSE(Extract()) << method;
    EXPECT_FALSE(fs::exists(install_)) << method;
    EXPECT_TRUE(log.Contains("$error:archive compression method " + std::to_string(method) + " is not supported"));
  }
}

TEST_F(ExtractTest, NotAnArchiveFailsWithTheOpeningLines) {
  test::WriteBytes(setup_, std::vector<uint8_t>(8192, 'M'));
  LogCapture log;
  EXPECT_FALSE(Extract());
  EXPECT_TRUE(log.Contains("$error:MvsOpen() failed\r\n"));
  settings_.installFolder.clear();
  EXPECT_FALSE(Extract());
  EXPECT_TRUE(log.Contains("$error:no install folder set\r\n"));
}

TEST_F(ExtractTest, DestinationBeyondMaxPathIsRefusedNotCut) {
  ASSERT_LT(dir_.path().wstring().size(), 180u);
  install_ = dir_ / std::string(200 - dir_.path().wstring().size(), 'i');
  settings_.installFolder = install_.wstring();
  const std::string longName = std::string(70, 'L') + ".txt";
  ASSERT_TRUE(test::WriteSetup(setup_, {{"main\\Program\\" + longName, Bytes("long")},
                                        {"main\\Program\\" + longName.substr(0, 50), Bytes("cut")},
                                        {"main\\Program\\short.txt", Bytes("short")}}));
  LogCapture log;
  ASSERT_TRUE(Extract());
  EXPECT_TRUE(log.Contains("$error:destination path too long, skipped, path:" + install_.string() + "\\" + longName));
  EXPECT_EQ(Text(install_ / "short.txt"), "short");
  EXPECT_EQ(Text(install_ / longName.substr(0, 50)), "cut") << "a cut name must not receive the long entry";
  EXPECT_EQ(Text(install_ / "InstallInfo.db"),
            install_.string() + "\\" + longName.substr(0, 50) + "\n" + install_.string() + "\\short.txt\n");
}

// ---- Archives of other builders ----

// A plain-text setup of three zlib entries and the file offsets of its index
// records and times records, for patching what another builder might write.
// Written by our packer, then made another builder's: no mark in the DOS
// header and no seal in the times records.
class OtherBuilderTest : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    ArchiveOptions plain;
    plain.cipher = kCipherNone;
    ASSERT_TRUE(test::WriteSetup(setup_,
                                 {{"main\\Program\\first.txt", Bytes("first")},
                                  {"main\\Program\\empty.txt", {}},
                                  {"main\\Program\\last.txt", Bytes("last")}},
                                 plain));
    bytes_ = test::ReadBytes(setup_);
    header_ = DecodeHeader(bytes_.data() + test::kStubSize);
    std::fill_n(bytes_.begin() + kPackerMarkOffset, 4, 0);
    for (size_t i = 0; i < 3; ++i) std::fill_n(bytes_.begin() + TimesAt(i) + 24, 4, 0);
  }
  uint64_t EntryAt(size_t i) const { return test::StreamFileOffset(header_.indexOffset + kMagicSize + i * kEntrySize); }
  uint64_t TimesAt(size_t i) const {
    return test::StreamFileOffset(header_.namesOffset + header_.namesSize + i * kTimesSize);
  }
  MvsEntry Entry(size_t i) const { return DecodeEntry(bytes_.data() + EntryAt(i)); }
  void Save() { test::WriteBytes(setup_, bytes_); }

  std::vector<uint8_t> bytes_;
  MvsHeader header_{};
};

TEST_F(OtherBuilderTest, RandomReservedBytesAreNotReadAsAnIntegrityCheck) {
  const std::vector<uint8_t> random = RandomBytes(3 * 12, 7);
  for (size_t i = 0; i < 3; ++i) {
    std::copy_n(random.begin() + 12 * i, 8, bytes_.begin() + EntryAt(i));
    std::copy_n(random.begin() + 12 * i + 8, 4, bytes_.begin() + TimesAt(i) + 24);
  }
  Save();
  LogCapture log;
  ASSERT_TRUE(Extract()) << log.Text();
  EXPECT_EQ(Text(install_ / "first.txt"), "first");
  EXPECT_EQ(Text(install_ / "empty.txt"), "");
  EXPECT_EQ(Text(install_ / "last.txt"), "last");
  EXPECT_TRUE(fs::exists(install_ / "InstallInfo.db"));
}

TEST_F(OtherBuilderTest, ZlibEntryWithoutPackedDataBecomesAnEmptyFile) {
  Patch64(bytes_, EntryAt(1) + 8, 0);
  Save();
  fs::create_directories(install_);
  test::WriteBytes(install_ / "empty.txt", Bytes("left from before"));
  LogCapture log;
  ASSERT_TRUE(Extract()) << log.Text();
  EXPECT_EQ(Text(install_ / "empty.txt"), "");
  EXPECT_EQ(Text(install_ / "last.txt"), "last");
  EXPECT_FALSE(log.Contains("$error:")) << log.Text();
}

TEST_F(OtherBuilderTest, BytesAfterACompleteZlibStreamAreIgnoredWithAWarning) {
  // first.txt's packed size reaches over the empty file's stream as well.
  const MvsEntry first = Entry(0);
  const MvsEntry empty = Entry(1);
  ASSERT_EQ(first.dataOffset + first.packedSize, empty.dataOffset);
  Patch64(bytes_, EntryAt(0) + 8, first.packedSize + empty.packedSize);
  Save();
  LogCapture log;
  ASSERT_TRUE(Extract()) << log.Text();
  EXPECT_EQ(Text(install_ / "first.txt"), "first");
  EXPECT_EQ(Text(install_ / "last.txt"), "last");
  EXPECT_TRUE(log.Contains("$warning:extracting file, path:" + Gbk(install_.wstring()) +
                           "\\first.txt, entry:main\\Program\\first.txt: " + std::to_string(empty.packedSize) +
                           " bytes after the end of its zlib stream are ignored"))
      << log.Text();
  EXPECT_TRUE(fs::exists(install_ / "InstallInfo.db"));
}

// ---- Data handling ----

class LargeEntryTest : public ExtractTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(LargeEntryTest, EntriesAroundTheChunkEdgesArriveWhole) {
  ArchiveOptions options;
  options.compression = GetParam();
  std::vector<uint8_t> text;
  while (text.size() < 3 * EntryDecoder::kOutputChunk + 17) {
    const std::string line = "line " + std::to_string(text.size()) + " of a compressible file\r\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  const std::vector<SetupEntry> entries = {
      {"main\\Program\\chunk.bin", RandomBytes(EntryDecoder::kInputChunk, 1)},
      {"main\\Program\\chunk1.bin", RandomBytes(EntryDecoder::kInputChunk + 1, 2)},
      {"main\\Program\\out1.bin", RandomBytes(EntryDecoder::kOutputChunk + 1, 3)},
      {"main\\Program\\text.txt", text},
      {"main\\Program\\1024.bin", RandomBytes(1024, 4)},
      {"main\\Program\\1025.bin", RandomBytes(1025, 5)},
  };
  ASSERT_TRUE(test::WriteSetup(setup_, entries, options));
  ASSERT_TRUE(Extract());
  for (const SetupEntry& e : entries) {
    EXPECT_EQ(test::ReadBytes(install_ / e.name.substr(13)), e.data) << e.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Compression, LargeEntryTest, ::testing::Values(kStored, kZlib),
                         [](const auto& info) { return info.param == kStored ? "Stored" : "Zlib"; });

TEST_F(ExtractTest, FormatBelow03HasNoTimesAndSetsNoAttributes) {
  ArchiveOptions options;
  options.versionMinor = 2;
  ASSERT_TRUE(
      test::WriteSetup(setup_, {{"main\\Program\\h.txt", Bytes("h"), FILE_ATTRIBUTE_HIDDEN, Times(k2020)}}, options));
  FILETIME before;
  GetSystemTimeAsFileTime(&before);
  ASSERT_TRUE(Extract());
  const uint64_t now = (uint64_t{before.dwHighDateTime} << 32) | before.dwLowDateTime;
  EXPECT_GE(LastWrite(install_ / "h.txt") + 20000000ull, now) << "keeps the time of its writing";
  EXPECT_EQ(GetFileAttributesW((install_ / "h.txt").wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(ExtractTest, FileInUseIsLeftAloneButStaysInTheRecord) {
  ASSERT_TRUE(test::WriteSetup(
      setup_, {{"main\\Program\\locked.txt", Bytes("new")}, {"main\\Program\\free.txt", Bytes("free")}}));
  fs::create_directories(install_);
  test::WriteBytes(install_ / "locked.txt", Bytes("old"));
  UniqueFile held(
      CreateFileW((install_ / "locked.txt").wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  LogCapture log;
  ASSERT_TRUE(Extract());
  held.reset();
  EXPECT_EQ(Text(install_ / "locked.txt"), "old");
  EXPECT_EQ(Text(install_ / "free.txt"), "free");
  const std::string folder = Gbk(install_.wstring());
  EXPECT_EQ(Text(install_ / "InstallInfo.db"), folder + "\\locked.txt\n" + folder + "\\free.txt\n");
  EXPECT_TRUE(log.Contains("$warning:CreateFile() failed, error code:32 path:" + folder + "\\locked.txt"));
}

// ---- Entries unpacked side by side ----

// Rows: the install thread alone, and two or four workers beside it.
class WorkersTest : public ExtractTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    SetExtractionWorkersForTesting(GetParam());
  }
  void TearDown() override {
    SetExtractionWorkersForTesting(-1);
    ExtractTest::TearDown();
  }
};
INSTANTIATE_TEST_SUITE_P(Workers, WorkersTest, ::testing::Values(0, 2, 4),
                         [](const auto& info) { return "Workers" + std::to_string(info.param); });

TEST_P(WorkersTest, EveryEntryArrivesWholeWithItsTimesAndTheRecordKeepsEntryOrder) {
  std::vector<SetupEntry> entries;
  std::string record;
  const std::string folder = Gbk(install_.wstring());
  for (int i = 0; i < 36; ++i) {
    const std::string sub = i < 12 ? "a" : i < 30 ? "b\\deep" : "c";
    const std::string name = sub + "\\f" + std::to_string(i) + ".bin";
    // Sizes from empty to beyond two output chunks; every fifth compressible.
    const size_t size = i == 7 ? 0 : i % 9 == 4 ? 2 * EntryDecoder::kOutputChunk + 5 : (i * 37129u) % 300000u;
    std::vector<uint8_t> data = RandomBytes(size, 100 + i);
    if (i % 5 == 0) std::fill(data.begin(), data.begin() + data.size() / 2, static_cast<uint8_t>(i));
    const uint32_t attributes = i % 6 == 1 ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_ARCHIVE;
    entries.push_back({"main\\Program\\" + name, data, attributes, Times(k2020 + uint64_t(i) * 10000000000ull)});
    record += folder + "\\" + name + "\n";
  }
  ASSERT_TRUE(test::WriteSetup(setup_, entries));
  LogCapture log;
  ASSERT_TRUE(Extract());
  for (const SetupEntry& e : entries) {
    const fs::path path = install_ / fs::path(e.name.substr(13));
    EXPECT_EQ(test::ReadBytes(path), e.data) << e.name;
    EXPECT_EQ(LastWrite(path), e.times.lastWriteTime) << e.name;
    EXPECT_EQ(GetFileAttributesW(path.wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN, e.attributes & FILE_ATTRIBUTE_HIDDEN)
        << e.name;
  }
  EXPECT_EQ(Text(install_ / "InstallInfo.db"), record);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{});
}

TEST_P(WorkersTest, AFailedEntryLeavesTheDiskAndTheLogAsTheInstallThreadAloneWould) {
  std::vector<uint8_t> text;
  for (int i = 0; i < 20000; ++i) text.push_back(static_cast<uint8_t>('a' + i % 7));
  std::vector<SetupEntry> entries = {
      {"main\\Program\\a\\one.txt", Bytes("one")},    {"main\\Program\\a\\..\\..\\evil.txt", Bytes("evil")},
      {"main\\Program\\a\\locked.txt", Bytes("new")}, {"main\\Program\\a\\big.bin", RandomBytes(600000, 1)},
      {"main\\Program\\a\\broken.bin", text},
      {"main\\Program\\c\\d\\soon.bin", RandomBytes(300000, 9)},
  };
  // More entries after the damaged one than the workers have slots: with
  // no existing file to wait for before them, the failure comes back while
  // a job is being handed over.
  static_assert(4 * EntryWorkers::kSlotsPerWorker < 38, "the existing file must come after the handover");
  for (int i = 0; i < 40; ++i) {
    entries.push_back({"main\\Program\\a\\after" + std::to_string(i) + ".bin", RandomBytes(20000, 10 + i)});
  }
  entries.push_back({"main\\Program\\a\\..\\..\\evil2.txt", Bytes("evil")});
  entries.push_back({"main\\Program\\b\\late.txt", Bytes("late")});
  ASSERT_TRUE(test::WriteSetup(setup_, entries));
  FlipInsideEntry(setup_, 4);
  fs::create_directories(install_ / "a");
  test::WriteBytes(install_ / "a" / "locked.txt", Bytes("old"));
  test::WriteBytes(install_ / "a" / "after38.bin", Bytes("older version"));
  UniqueFile held(CreateFileW((install_ / "a" / "locked.txt").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);

  LogCapture log;
  EXPECT_FALSE(Extract());
  held.reset();
  const std::string folder = Gbk(install_.wstring());
  const std::vector<std::string> messages = log.Messages();
  ASSERT_EQ(messages.size(), 3u) << log.Text();
  EXPECT_EQ(messages[0], "error:unsafe entry name, skipped, name:main\\Program\\a\\..\\..\\evil.txt");
  EXPECT_EQ(messages[1], "warning:CreateFile() failed, error code:32 path:" + folder + "\\a\\locked.txt");
  EXPECT_EQ(
      messages[2].rfind(
          "error:extracting file failed, path:" + folder + "\\a\\broken.bin, entry:main\\Program\\a\\broken.bin: ", 0),
      0u)
      << messages[2];
  // The entries before the damaged one are whole, the one in use untouched;
  // nothing after it was made or changed, and there is no record.
  EXPECT_EQ(FilesUnder(install_),
            (std::vector<std::string>{"a\\after38.bin", "a\\big.bin", "a\\broken.bin", "a\\locked.txt", "a\\one.txt"}));
  EXPECT_EQ(Text(install_ / "a" / "one.txt"), "one");
  EXPECT_EQ(test::ReadBytes(install_ / "a" / "big.bin"), entries[3].data);
  EXPECT_EQ(Text(install_ / "a" / "locked.txt"), "old");
  EXPECT_EQ(Text(install_ / "a" / "after38.bin"), "older version");
  EXPECT_FALSE(fs::exists(install_ / "b"));
  EXPECT_FALSE(fs::exists(install_ / "c"));
}

// ---- The uninstaller alone ----

TEST_F(ExtractTest, UninstallerIsTakenOnlyFromTheExactEntryName) {
  const fs::path old = dir_ / "old" / "Uninstall.exe";
  fs::create_directories(old.parent_path());
  test::WriteBytes(old, Bytes("old uninstaller"));
  settings_.previousUninstallString = old.wstring();
  ASSERT_TRUE(test::WriteSetup(setup_, {{"main\\program\\Uninstall.exe", Bytes("wrong case")},
                                        {"main\\Program\\readme.txt", Bytes("readme")},
                                        {"main\\Program\\Uninstall.exe", Bytes("new uninstaller")},
                                        {"main\\Program\\z.txt", Bytes("z")}}));
  ASSERT_TRUE(ExtractUninstaller(settings_, setup_.wstring()));
  EXPECT_EQ(Text(old), "new uninstaller");
  EXPECT_EQ(settings_.progressTarget.load(), ExtractionProgress(2, 4)) << "the scan ends at the uninstaller";
  EXPECT_EQ(FilesUnder(dir_.path() / "old"), (std::vector<std::string>{"Uninstall.exe"}));
  EXPECT_FALSE(fs::exists(install_));
  EXPECT_EQ(settings_.statusLine.Get(), L"");

  // Without the exact name the old file stays and the scan still succeeds.
  ASSERT_TRUE(test::WriteSetup(setup_, {{"main\\program\\Uninstall.exe", Bytes("wrong case")},
                                        {"MAIN\\Program\\Uninstall.exe", Bytes("wrong case too")}}));
  test::WriteBytes(old, Bytes("old uninstaller"));
  ASSERT_TRUE(ExtractUninstaller(settings_, setup_.wstring()));
  EXPECT_EQ(Text(old), "old uninstaller");
  EXPECT_EQ(settings_.progressTarget.load(), ExtractionProgress(1, 2));
}

}  // namespace
}  // namespace qrn
