// Packer side (ArchiveWriter) to reader side (MvsReader, LoadArchiveIndex,
// VerifyArchiveData) round trips, the two ways of finding the archive, and
// damaged archives. Runs natively and, compiled with MinGW, under Wine.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/ArchiveIndex.h"
#include "payload/ArchiveWriter.h"
#include "payload/MvsReader.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

using namespace archive;
using test::RandomBytes;
using test::TempDir;

constexpr uint32_t kStubSize = 1536;  // not a multiple of 16, as a real image need not be

struct FileSpec {
  std::string name;
  std::vector<uint8_t> data;
  bool folder = false;
};

MvsFileTimes TimesFor(size_t i) {
  MvsFileTimes t{};
  t.creationTime = 132000000000000000ull + i;
  t.lastWriteTime = 132100000000000000ull + i;
  t.lastAccessTime = 132200000000000000ull + i;
  return t;
}

// Sizes around the reader's and the installer's chunk edges; a name in code
// page 936 ("中文.txt"); a folder entry.
std::vector<FileSpec> SampleFiles() {
  return {
      {"main\\Program\\empty.txt", {}},
      {"main\\Program\\one.bin", {0x42}},
      {"main\\Program\\help", {}, true},
      {"main\\Program\\help\\\xD6\xD0\xCE\xC4.txt", RandomBytes(1024, 1)},
      {"main\\Program\\b1025.bin", RandomBytes(1025, 2)},
      {"sys\\64\\big.bin", RandomBytes(200000, 3)},
      {"main\\System32\\text.dll", std::vector<uint8_t>(70000, 'x')},
  };
}

std::vector<uint8_t> Stub() {
  std::vector<uint8_t> stub(kStubSize, 0xCC);
  stub[0] = 'M';
  stub[1] = 'Z';
  return stub;
}

std::vector<uint8_t> BuildSetup(const std::vector<FileSpec>& files, const ArchiveOptions& options) {
  MemorySink sink;
  const std::vector<uint8_t> stub = Stub();
  sink.Write(stub.data(), stub.size());
  ArchiveWriter writer(sink, kStubSize, options);
  for (size_t i = 0; i < files.size(); ++i) {
    const FileSpec& f = files[i];
    const bool ok = f.folder ? writer.AddFolder(f.name, 0, TimesFor(i))
                             : writer.AddFile(f.name, f.data.data(), f.data.size(), 0x21, TimesFor(i));
    EXPECT_TRUE(ok) << writer.error();
  }
  EXPECT_TRUE(writer.Finish()) << writer.error();
  return sink.bytes();
}

std::vector<uint8_t> Unpack(const std::vector<uint8_t>& packed, uint32_t compression) {
  if (compression == kStored) return packed;
  std::vector<uint8_t> out(16 * 1024 * 1024);
  uLongf size = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
  out.resize(size);
  return out;
}

class SetupFile {
 public:
  explicit SetupFile(const std::vector<uint8_t>& bytes) : path_(dir_ / "setup.exe") { test::WriteBytes(path_, bytes); }
  MvsFile* Open() { return MvsOpen(path_.c_str()); }
  const std::filesystem::path& path() const { return path_; }

 private:
  TempDir dir_;
  std::filesystem::path path_;
};

struct Opened {
  UniqueMvsFile reader;
  ArchiveIndex index;
  IndexStatus status = IndexStatus::kReadFailed;
  std::string detail;
};

Opened OpenAndLoad(SetupFile& setup) {
  Opened o;
  MvsFile* file = setup.Open();
  EXPECT_NE(file, kMvsInvalid);
  if (file == kMvsInvalid) return o;
  o.reader.reset(file);
  uint8_t header[kHeaderSize];
  EXPECT_TRUE(MvsReadHeader(file, header));
  o.status = LoadArchiveIndex(file, DecodeHeader(header), &o.index, &o.detail);
  return o;
}

struct RoundTripCase {
  const char* name;
  uint32_t compression;
  uint32_t cipher;
  uint8_t minor;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, EveryEntryComesBackAsPacked) {
  const RoundTripCase& c = GetParam();
  ArchiveOptions options;
  options.compression = c.compression;
  options.cipher = c.cipher;
  options.versionMinor = c.minor;
  const std::vector<FileSpec> files = SampleFiles();
  SetupFile setup(BuildSetup(files, options));
  Opened o = OpenAndLoad(setup);
  ASSERT_EQ(o.status, IndexStatus::kOk) << o.detail;
  EXPECT_EQ(MvsArchiveStart(o.reader.get()), kStubSize);
  EXPECT_EQ(o.index.header.compression, c.compression);
  EXPECT_EQ(o.index.hasTimes, c.minor >= 3);
  ASSERT_EQ(o.index.entries.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const IndexEntry& e = o.index.entries[i];
    EXPECT_EQ(e.name, files[i].name);
    EXPECT_EQ(e.IsFolder(), files[i].folder) << e.name;
    if (c.minor >= 3) {
      EXPECT_EQ(e.times.lastWriteTime, TimesFor(i).lastWriteTime) << e.name;
    }
    if (e.IsFolder()) continue;
    EXPECT_EQ(e.entry.attributes, 0x21u) << e.name;
    std::vector<uint8_t> packed(static_cast<size_t>(e.entry.packedSize));
    MvsSeek(o.reader.get(), e.entry.dataOffset);
    ASSERT_EQ(MvsRead(o.reader.get(), packed.data(), static_cast<uint32_t>(packed.size())),
              static_cast<int64_t>(packed.size()));
    EXPECT_EQ(Unpack(packed, c.compression), files[i].data) << e.name;
  }
  std::string detail;
  EXPECT_TRUE(VerifyArchiveData(o.reader.get(), o.index, &detail)) << detail;
}

INSTANTIATE_TEST_SUITE_P(Archive, RoundTrip,
                         ::testing::Values(RoundTripCase{"ZlibAes", kZlib, kCipherAes256, 3},
                                           RoundTripCase{"StoredAes", kStored, kCipherAes256, 3},
                                           RoundTripCase{"ZlibPlain", kZlib, kCipherNone, 3},
                                           RoundTripCase{"StoredPlain", kStored, kCipherNone, 3},
                                           RoundTripCase{"NoTimesTable", kZlib, kCipherAes256, 2}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST(ArchiveTest, SamePackTwiceGivesSameBytes) {
  EXPECT_EQ(BuildSetup(SampleFiles(), ArchiveOptions{}), BuildSetup(SampleFiles(), ArchiveOptions{}));
}

TEST(ArchiveTest, TheWriterRefusesWhatTheFormatCannotHold) {
  {
    MemorySink sink;
    ArchiveWriter writer(sink, kStubSize, ArchiveOptions{});
    const uint8_t byte = 0;
    // Refused by its size alone: the data is never read.
    EXPECT_FALSE(writer.AddFile("main\\Program\\huge.bin", &byte, size_t{kMaxEntryData}, 0x20, MvsFileTimes{}));
    EXPECT_EQ(writer.error(), "file of 2 GiB or more is not supported: main\\Program\\huge.bin");
    EXPECT_FALSE(writer.Finish());
  }
  {
    MemorySink sink;
    ArchiveWriter writer(sink, kStubSize, ArchiveOptions{});
    for (uint32_t i = 0; i < kMaxEntries; ++i) {
      ASSERT_TRUE(writer.AddFolder("main\\Program\\" + std::to_string(i), 0x10, MvsFileTimes{})) << writer.error();
    }
    EXPECT_FALSE(writer.AddFolder("main\\Program\\one more", 0x10, MvsFileTimes{}));
    EXPECT_EQ(writer.error(),
              "more than 262144 files and folders: the archive index cannot hold main\\Program\\one more");
  }
}

TEST(ArchiveTest, CipherOneStreamIsStoredInPlain) {
  ArchiveOptions options;
  options.compression = kStored;
  options.cipher = kCipherNone;
  const std::vector<uint8_t> bytes = BuildSetup({{"main\\Program\\a.txt", {'h', 'e', 'l', 'l', 'o'}}}, options);
  EXPECT_EQ(std::memcmp(bytes.data() + kStubSize + kHeaderSize, "hello", 5), 0);
}

// Without the DOS-header field the trailer (last four bytes) still finds the
// archive; with bytes behind the trailer (a signed file) only the field does.
TEST(ArchiveTest, FindsTheArchiveThroughDosFieldOrTrailer) {
  const std::vector<uint8_t> good = BuildSetup(SampleFiles(), ArchiveOptions{});
  std::vector<uint8_t> noField = good;
  std::memset(noField.data() + kDosFieldOffset, 0, 4);
  std::vector<uint8_t> signedFile = good;
  const std::vector<uint8_t> signature = RandomBytes(1000, 9);
  signedFile.insert(signedFile.end(), 4, 0);
  signedFile.insert(signedFile.end(), signature.begin(), signature.end());
  std::vector<uint8_t> signedNoField = signedFile;
  std::memset(signedNoField.data() + kDosFieldOffset, 0, 4);

  struct Case {
    const char* name;
    const std::vector<uint8_t>& bytes;
    bool opens;
  } cases[] = {{"DOS field", good, true},
               {"trailer", noField, true},
               {"signed, DOS field", signedFile, true},
               {"signed, no DOS field", signedNoField, false}};
  for (const Case& c : cases) {
    SetupFile setup(c.bytes);
    MvsFile* file = setup.Open();
    EXPECT_EQ(file != kMvsInvalid, c.opens) << c.name;
    if (file == kMvsInvalid) continue;
    UniqueMvsFile reader(file);
    uint8_t header[kHeaderSize];
    ASSERT_TRUE(MvsReadHeader(file, header)) << c.name;
    ArchiveIndex index;
    std::string detail;
    ASSERT_EQ(LoadArchiveIndex(file, DecodeHeader(header), &index, &detail), IndexStatus::kOk) << c.name << detail;
    EXPECT_TRUE(VerifyArchiveData(file, index, &detail)) << c.name << ": " << detail;
  }
}

TEST(ArchiveTest, OpenFailsForUnknownCipherMissingFileAndNoMagic) {
  std::vector<uint8_t> bytes = BuildSetup(SampleFiles(), ArchiveOptions{});
  Put32(bytes.data() + kStubSize + 12, 3);
  SetupFile badCipher(bytes);
  EXPECT_EQ(badCipher.Open(), kMvsInvalid);

  SetupFile plainExe(Stub());
  EXPECT_EQ(plainExe.Open(), kMvsInvalid);

  TempDir dir;
  EXPECT_EQ(MvsOpen((dir / "missing.exe").c_str()), kMvsInvalid);
  EXPECT_FALSE(MvsReadHeader(kMvsInvalid, nullptr));
  EXPECT_EQ(MvsSeek(kMvsInvalid, 5), 0u);
  EXPECT_EQ(MvsRead(kMvsInvalid, nullptr, 1), -1);
  MvsClose(kMvsInvalid);
}

// Logical byte k of a stored, plain-text entry is known, so any seek and any
// read length can be checked: seeks into the middle of a block and reads
// across block and 64 KiB window edges.
TEST(ArchiveTest, SeeksIntoBlocksAndReadsAcrossEdges) {
  std::vector<uint8_t> data(300000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
  ArchiveOptions options;
  options.compression = kStored;
  SetupFile setup(BuildSetup({{"main\\Program\\data.bin", data}}, options));
  UniqueMvsFile reader(setup.Open());
  ASSERT_NE(reader.get(), kMvsInvalid);
  uint8_t header[kHeaderSize];
  ASSERT_TRUE(MvsReadHeader(reader.get(), header));
  // After the header read the stream stands at logical offset 0.
  uint8_t first[20];
  ASSERT_EQ(MvsRead(reader.get(), first, sizeof first), 20);
  EXPECT_EQ(std::memcmp(first, data.data(), sizeof first), 0);

  const uint64_t offsets[] = {5, 15, 16, 17, 65535, 65536, 65541, 131071, 299990};
  for (uint64_t offset : offsets) {
    for (uint32_t length : {1u, 11u, 16u, 40u, 70000u}) {
      if (offset + length > data.size()) continue;
      std::vector<uint8_t> got(length);
      EXPECT_EQ(MvsSeek(reader.get(), offset), offset);
      ASSERT_EQ(MvsRead(reader.get(), got.data(), length), static_cast<int64_t>(length));
      EXPECT_EQ(std::memcmp(got.data(), data.data() + offset, length), 0)
          << "offset " << offset << " length " << length;
    }
  }
}

TEST(ArchiveTest, ReadsStopAtTheEndOfTheStream) {
  SetupFile setup(BuildSetup({{"main\\Program\\a.txt", RandomBytes(100, 4)}}, ArchiveOptions{}));
  UniqueMvsFile reader(setup.Open());
  ASSERT_NE(reader.get(), kMvsInvalid);
  const uint64_t size = MvsStreamSize(reader.get());
  ASSERT_GT(size, 0u);
  EXPECT_EQ(size % 16, 0u);
  std::vector<uint8_t> buffer(64);
  MvsSeek(reader.get(), size - 10);
  EXPECT_EQ(MvsRead(reader.get(), buffer.data(), 64), 10);
  MvsSeek(reader.get(), size + 1000);
  EXPECT_EQ(MvsRead(reader.get(), buffer.data(), 64), 0);
}

TEST(ArchiveTest, IndexSizeRemainderIsIgnored) {
  std::vector<uint8_t> bytes = BuildSetup(SampleFiles(), ArchiveOptions{});
  uint8_t* indexSize = bytes.data() + kStubSize + 32;
  Put32(indexSize, Get32(indexSize) + 35);
  Put32(bytes.data() + kPackerMarkOffset, HeaderSeal(bytes.data() + kStubSize));  // as if packed so
  SetupFile setup(bytes);
  Opened o = OpenAndLoad(setup);
  ASSERT_EQ(o.status, IndexStatus::kOk) << o.detail;
  EXPECT_EQ(o.index.entries.size(), SampleFiles().size());
}

// Index record i of an archive written without cipher.
uint8_t* EntryBytes(std::vector<uint8_t>& b, const ArchiveIndex& index, size_t i) {
  return b.data() + kStubSize + kHeaderSize + index.header.indexOffset + kMagicSize + i * kEntrySize;
}

// Damage that must be refused before any entry is used, each with what the
// message must name. Header fields are patched in plain; index records are
// patched in a plain-text archive so their bytes can be located.
TEST(ArchiveTest, DamagedIndexIsRefusedWithItsReason) {
  struct Case {
    const char* name;
    void (*damage)(std::vector<uint8_t>&, const ArchiveIndex&);
    IndexStatus status;
    const char* detail;
  };
  const Case cases[] = {
      {"name longer than 260",
       [](std::vector<uint8_t>& b, const ArchiveIndex& x) { Put32(EntryBytes(b, x, 1) + 24, 261); },
       IndexStatus::kDamaged, "entry 1: name length 261"},
      {"name beyond the pool",
       [](std::vector<uint8_t>& b, const ArchiveIndex& x) { Put32(EntryBytes(b, x, 2) + 28, x.header.namesSize - 3); },
       IndexStatus::kDamaged, "entry 2: name lies outside"},
      {"data beyond the stream",
       [](std::vector<uint8_t>& b, const ArchiveIndex& x) {
         Put64(EntryBytes(b, x, 5) + 16, x.header.indexOffset + 1000);
       },
       IndexStatus::kDamaged, "data lies outside the stream"},
      {"N too large for the stream",
       [](std::vector<uint8_t>& b, const ArchiveIndex&) { Put32(b.data() + kStubSize + 32, 6 + 36 * 100000); },
       IndexStatus::kDamaged, "index (offset"},
      {"index magic", [](std::vector<uint8_t>& b, const ArchiveIndex& x) { EntryBytes(b, x, 0)[-1] ^= 0xFF; },
       IndexStatus::kIndexMagic, "magic"},
  };
  ArchiveOptions plain;
  plain.cipher = kCipherNone;
  const std::vector<uint8_t> good = BuildSetup(SampleFiles(), plain);
  SetupFile reference(good);
  Opened ref = OpenAndLoad(reference);
  ASSERT_EQ(ref.status, IndexStatus::kOk);
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes, ref.index);
    SetupFile setup(bytes);
    Opened o = OpenAndLoad(setup);
    EXPECT_EQ(o.status, c.status) << c.name << ": " << o.detail;
    EXPECT_NE(o.detail.find(c.detail), std::string::npos) << c.name << ": " << o.detail;
  }
}

// A setup of just over 4 GiB (a sparse file: a few bytes and a hole) whose
// name pool is 4 GiB - 1 bytes: in 32-bit arithmetic its buffer with a byte
// to spare would be 0 bytes long, and the pool would be read into it.
TEST(ArchiveTest, NamePoolLargerThanAnyPayloadIsRefused) {
  std::vector<uint8_t> bytes = Stub();
  Put32(bytes.data() + kDosFieldOffset, kStubSize);
  MvsHeader header{};
  std::memcpy(header.magic, kMagic, kMagicSize);
  header.versionMinor = 3;
  header.compression = kStored;
  header.cipher = kCipherNone;
  header.indexOffset = 0;
  header.indexSize = kMagicSize;  // no entries
  header.namesOffset = kBlockSize;
  header.namesSize = 0xFFFFFFFFu;
  uint8_t encoded[kHeaderSize];
  EncodeHeader(header, encoded);
  bytes.insert(bytes.end(), encoded, encoded + kHeaderSize);
  bytes.insert(bytes.end(), kMagic, kMagic + kMagicSize);
  SetupFile setup(bytes);
  test::ExtendFile(setup.path(), kStubSize + kHeaderSize + kBlockSize + (uint64_t{1} << 32));

  Opened o = OpenAndLoad(setup);
  EXPECT_EQ(o.status, IndexStatus::kDamaged);
  EXPECT_NE(o.detail.find("name pool of 4294967295 bytes"), std::string::npos) << o.detail;
}

// Times record i of an archive written without cipher.
uint8_t* TimesBytes(std::vector<uint8_t>& b, const ArchiveIndex& index, size_t i) {
  return b.data() + kStubSize + kHeaderSize + index.header.namesOffset + index.header.namesSize + i * kTimesSize;
}

// A plain-text archive of the sample files and its index, for patching.
struct PlainSample {
  std::vector<uint8_t> bytes;
  ArchiveIndex index;
};

PlainSample BuildPlainSample() {
  ArchiveOptions plain;
  plain.cipher = kCipherNone;
  PlainSample sample{BuildSetup(SampleFiles(), plain), {}};
  SetupFile setup(sample.bytes);
  Opened o = OpenAndLoad(setup);
  EXPECT_EQ(o.status, IndexStatus::kOk) << o.detail;
  sample.index = o.index;
  return sample;
}

// Loads and verifies patched bytes; `detail` gets the reason of a refusal.
bool Verifies(const std::vector<uint8_t>& bytes, std::string* detail, std::vector<std::string>* warnings = nullptr,
              ArchiveIndex* index = nullptr) {
  SetupFile setup(bytes);
  Opened o = OpenAndLoad(setup);
  if (o.status != IndexStatus::kOk) {
    *detail = o.detail;
    return false;
  }
  if (index != nullptr) *index = o.index;
  return VerifyArchiveData(o.reader.get(), o.index, detail, warnings);
}

// Another builder may leave an entry's reserved bytes (and those of its
// times record) uninitialised: whatever they hold, the archive is sound.
TEST(ArchiveTest, AnotherBuildersReservedBytesAreNotChecked) {
  const PlainSample sample = BuildPlainSample();
  const size_t n = sample.index.entries.size();
  struct Case {
    const char* name;
    std::vector<uint8_t> fill;  // 12 bytes per entry: its 8 reserved bytes, then its times record's 4
  } cases[] = {{"random", RandomBytes(12 * n, 11)},
               {"all ones", std::vector<uint8_t>(12 * n, 0xFF)},
               {"zeros", std::vector<uint8_t>(12 * n, 0x00)},
               {"uninitialised heap", std::vector<uint8_t>(12 * n, 0xCD)}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sample.bytes;
    Put32(bytes.data() + kPackerMarkOffset, 0);  // no mark: another builder's setup
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(EntryBytes(bytes, sample.index, i), c.fill.data() + 12 * i, 8);
      std::memcpy(TimesBytes(bytes, sample.index, i) + 24, c.fill.data() + 12 * i + 8, 4);
    }
    std::string detail;
    EXPECT_TRUE(Verifies(bytes, &detail)) << c.name << ": " << detail;
  }
}

// Seals entry i again after its record was patched, as if packed so.
void Reseal(std::vector<uint8_t>& bytes, const ArchiveIndex& index, size_t i) {
  const MvsEntry entry = DecodeEntry(EntryBytes(bytes, index, i));
  const MvsFileTimes times = DecodeTimes(TimesBytes(bytes, index, i));
  Put32(TimesBytes(bytes, index, i) + 24, PackerSeal(entry, times, index.entries[i].name));
}

// Our packer's entries are sealed, and a sealed entry's contents must match
// the size and CRC-32 it carries.
TEST(ArchiveTest, SealedEntriesAreCheckedAgainstTheirSizeAndCrc) {
  const PlainSample sample = BuildPlainSample();
  for (const IndexEntry& e : sample.index.entries) EXPECT_TRUE(e.sealed) << e.name;

  const size_t big = 5;  // sys\64\big.bin
  struct Case {
    const char* name;
    uint64_t reservedXor;
  } cases[] = {{"size one more", 1}, {"CRC-32 one bit off", uint64_t{1} << 40}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sample.bytes;
    MvsEntry entry = sample.index.entries[big].entry;
    entry.reserved ^= c.reservedXor;
    EncodeEntry(entry, EntryBytes(bytes, sample.index, big));
    Reseal(bytes, sample.index, big);
    std::string detail;
    EXPECT_FALSE(Verifies(bytes, &detail)) << c.name;
    EXPECT_NE(detail.find("sys\\64\\big.bin"), std::string::npos) << c.name << ": " << detail;
    EXPECT_NE(detail.find("differ from what was packed"), std::string::npos) << c.name << ": " << detail;
  }
}

// In an archive of our packer every entry carries its seal: an entry whose
// record, times or name changed after packing fails the archive, naming
// the entry, instead of being taken for another builder's (a changed name
// would install the file under another name, or skip it as unsafe).
TEST(ArchiveTest, AnEntryOfASealedArchiveThatLostItsSealIsRefused) {
  const PlainSample sample = BuildPlainSample();
  const size_t big = 5;  // sys\64\big.bin
  const IndexEntry& e = sample.index.entries[big];
  ASSERT_EQ(e.name, "sys\\64\\big.bin");
  std::vector<uint8_t> copy = sample.bytes;
  const size_t nameAt = kStubSize + kHeaderSize + sample.index.header.namesOffset + e.entry.nameOffset;
  const size_t entryAt = static_cast<size_t>(EntryBytes(copy, sample.index, big) - copy.data());
  const size_t timesAt = static_cast<size_t>(TimesBytes(copy, sample.index, big) - copy.data());
  struct Case {
    const char* name;
    size_t at;  // file offset of the byte changed
    uint8_t xorWith;
  } cases[] = {
      {"a letter of its name", nameAt + 8, 0x01},                        // big.bin -> bhg.bin
      {"its name made unsafe", nameAt + 7, '\\' ^ 'b'},                  // sys\64\\ig.bin
      {"its attributes", entryAt + 32, 0x10},
      {"its write time", timesAt + 8, 0x01},
      {"a seal taken from another entry", 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sample.bytes;
    if (c.at != 0) {
      bytes[c.at] ^= c.xorWith;
    } else {
      std::memcpy(TimesBytes(bytes, sample.index, big) + 24, TimesBytes(bytes, sample.index, big - 1) + 24, 4);
    }
    std::string detail;
    EXPECT_FALSE(Verifies(bytes, &detail)) << c.name;
    EXPECT_NE(detail.find("differ from what was packed"), std::string::npos) << c.name << ": " << detail;
    EXPECT_NE(detail.find("entry 5"), std::string::npos) << c.name << ": " << detail;
  }
}

// A marked archive whose header changed after packing is refused, even
// where every entry's seal fails with it (the names or times then read from
// elsewhere), and only the mark tells it from another builder's archive.
TEST(ArchiveTest, AMarkedArchiveWhoseHeaderChangedIsRefused) {
  const PlainSample sample = BuildPlainSample();
  struct Case {
    const char* name;
    size_t at;  // header byte changed
    uint8_t xorWith;
  } cases[] = {{"names offset", 24, 0x10}, {"names size", 36, 0x10}, {"version", 7, 0x01}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sample.bytes;
    bytes[kStubSize + c.at] ^= c.xorWith;
    std::string detail;
    EXPECT_FALSE(Verifies(bytes, &detail)) << c.name;
    EXPECT_FALSE(detail.empty()) << c.name;
  }
  // The names moved by a block: every seal fails, yet the archive would
  // read; only the mark refuses it.
  std::vector<uint8_t> bytes = sample.bytes;
  Put64(bytes.data() + kStubSize + 24, sample.index.header.namesOffset - 16);
  std::string detail;
  EXPECT_FALSE(Verifies(bytes, &detail));
  EXPECT_EQ(detail, "the archive header differs from what was packed");
}

// Deflate never makes an empty stream, but another builder may store an
// empty file as no data at all.
TEST(ArchiveTest, ZlibEntryWithoutPackedDataIsAnEmptyFile) {
  PlainSample sample = BuildPlainSample();
  ASSERT_EQ(sample.index.header.compression, kZlib);
  ASSERT_EQ(sample.index.entries[0].name, "main\\Program\\empty.txt");
  Put64(EntryBytes(sample.bytes, sample.index, 0) + 8, 0);
  Reseal(sample.bytes, sample.index, 0);
  std::string detail;
  EXPECT_TRUE(Verifies(sample.bytes, &detail)) << detail;
}

// Bytes after a zlib stream whose checksum held do not make the entry
// damaged: the installer writes the file and warns, and so does verify.
TEST(ArchiveTest, BytesAfterACompleteZlibStreamAreIgnoredWithAWarning) {
  PlainSample sample = BuildPlainSample();
  const MvsEntry one = sample.index.entries[1].entry;  // main\Program\one.bin, followed by the next file's data
  const MvsEntry next = sample.index.entries[3].entry;
  ASSERT_EQ(one.dataOffset + one.packedSize, next.dataOffset);
  Put64(EntryBytes(sample.bytes, sample.index, 1) + 8, one.packedSize + next.packedSize);
  Reseal(sample.bytes, sample.index, 1);
  std::string detail;
  std::vector<std::string> warnings;
  EXPECT_TRUE(Verifies(sample.bytes, &detail, &warnings)) << detail;
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "entry 1 'main\\Program\\one.bin': " + std::to_string(next.packedSize) +
                             " bytes after the end of its zlib stream are ignored");
}

TEST(ArchiveTest, VerifyNamesTheEntryOfAFlippedByteOrACutFile) {
  const std::vector<FileSpec> files = SampleFiles();
  const std::vector<uint8_t> good = BuildSetup(files, ArchiveOptions{});
  SetupFile reference(good);
  Opened ref = OpenAndLoad(reference);
  ASSERT_EQ(ref.status, IndexStatus::kOk);

  for (uint32_t compression : {kZlib, kStored}) {
    ArchiveOptions options;
    options.compression = compression;
    std::vector<uint8_t> flipped = BuildSetup(files, options);
    SetupFile probe(flipped);
    Opened p = OpenAndLoad(probe);
    const MvsEntry& big = p.index.entries[5].entry;  // sys\64\big.bin
    flipped[kStubSize + kHeaderSize + big.dataOffset + big.packedSize / 2] ^= 0x01;
    SetupFile setup(flipped);
    Opened o = OpenAndLoad(setup);
    ASSERT_EQ(o.status, IndexStatus::kOk) << o.detail;
    std::string detail;
    EXPECT_FALSE(VerifyArchiveData(o.reader.get(), o.index, &detail)) << "compression " << compression;
    EXPECT_NE(detail.find("sys\\64\\big.bin"), std::string::npos) << detail;
  }

  std::vector<uint8_t> cut(good.begin(), good.end() - 100);
  SetupFile setup(cut);
  Opened o = OpenAndLoad(setup);
  EXPECT_EQ(o.status, IndexStatus::kDamaged);
  EXPECT_NE(o.detail.find("entry"), std::string::npos) << o.detail;
  EXPECT_NE(o.detail.find("times record"), std::string::npos) << o.detail;
}

}  // namespace
}  // namespace qrn
