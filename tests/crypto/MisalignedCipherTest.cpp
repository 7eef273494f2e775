// Every user of the AES code works wherever its owner puts it. 32-bit
// Windows gives heap blocks 8-byte alignment and thread stacks 4-byte
// alignment; a cipher object that counts on 16 (an aligned load of its round
// keys, an AES instruction with a memory operand) faults there, at random,
// depending on where the allocator happened to put it. This program hands
// out every heap block 8 bytes past a 16-byte boundary, as such a heap may,
// and places the objects it builds itself likewise, so the fault shows on
// any machine with the AES instructions, 64-bit ones included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "payload/ArchiveIndex.h"
#include "payload/ArchiveWriter.h"
#include "payload/MvsReader.h"
#include "report/AesCipher.h"

// ---- A heap whose blocks all start 8 past a 16-byte boundary ----

namespace {

constexpr size_t kOff = 8;

void* MisalignedAlloc(size_t size) {
  // Room for the offset plus a header that remembers the real block.
  auto* raw = static_cast<unsigned char*>(std::malloc(size + 32 + kOff));
  if (raw == nullptr) throw std::bad_alloc();
  uintptr_t p = (reinterpret_cast<uintptr_t>(raw) + 16 + 15) / 16 * 16 + kOff;
  std::memcpy(reinterpret_cast<void*>(p - sizeof(void*)), &raw, sizeof raw);
  return reinterpret_cast<void*>(p);
}

void MisalignedFree(void* p) {
  if (p == nullptr) return;
  void* raw;
  std::memcpy(&raw, static_cast<unsigned char*>(p) - sizeof(void*), sizeof raw);
  std::free(raw);
}

}  // namespace

void* operator new(size_t size) { return MisalignedAlloc(size); }
void* operator new[](size_t size) { return MisalignedAlloc(size); }
void operator delete(void* p) noexcept { MisalignedFree(p); }
void operator delete[](void* p) noexcept { MisalignedFree(p); }
void operator delete(void* p, size_t) noexcept { MisalignedFree(p); }
void operator delete[](void* p, size_t) noexcept { MisalignedFree(p); }

namespace qrn {
namespace {

using namespace archive;

bool EightPastSixteen(const void* p) { return reinterpret_cast<uintptr_t>(p) % 16 == 8; }

// Storage for one T at an address 8 past a 16-byte boundary.
template <typename T>
class Misplaced {
 public:
  Misplaced() {
    uintptr_t p = (reinterpret_cast<uintptr_t>(storage_) + 15) / 16 * 16 + kOff;
    object_ = new (reinterpret_cast<void*>(p)) T();
  }
  ~Misplaced() { object_->~T(); }
  T* operator->() { return object_; }
  T* get() { return object_; }

 private:
  alignas(16) unsigned char storage_[sizeof(T) + 32];
  T* object_;
};

std::vector<uint8_t> Hex(const char* text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
  }
  return out;
}

// Both code paths: the instructions where the processor has them, and the tables.
class MisalignedCipher : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && !Aes::SetHardwareForTesting(true)) {
      Aes::SetHardwareForTesting(false);
      GTEST_SKIP() << "this processor has no AES instructions";
    }
    if (!GetParam()) Aes::SetHardwareForTesting(false);
  }
  void TearDown() override { Aes::SetHardwareForTesting(true); }
};

TEST_P(MisalignedCipher, AesGivesTheKnownAnswersForEveryKeyLength) {
  struct Case {
    const char* key;
    const char* cipher;
  };
  // FIPS-197, appendix C.
  const Case cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    Misplaced<Aes> aes;
    ASSERT_TRUE(EightPastSixteen(aes.get()));
    const std::vector<uint8_t> key = Hex(c.key);
    ASSERT_TRUE(aes->SetKey(key.data(), key.size()));
    // Nine blocks: the eight-at-a-time path and the single one.
    std::vector<uint8_t> data;
    for (int i = 0; i < 9; ++i) {
      const std::vector<uint8_t> plain = Hex("00112233445566778899aabbccddeeff");
      data.insert(data.end(), plain.begin(), plain.end());
    }
    aes->EncryptBlocks(data.data(), 9);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(std::vector<uint8_t>(data.begin() + 16 * i, data.begin() + 16 * i + 16), Hex(c.cipher)) << i;
    }
    aes->DecryptBlocks(data.data(), 9);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 16), Hex("00112233445566778899aabbccddeeff"));
  }
}

TEST_P(MisalignedCipher, ReportCipherRoundTrips) {
  Misplaced<CAesCipher> cipher;
  ASSERT_TRUE(EightPastSixteen(cipher.get()));
  const std::vector<uint8_t> key(32, 0x5A);
  ASSERT_TRUE(cipher->SetKey(key.size(), key.data()));
  const std::string text = "deviceID=1234&version=6.1.0.3&os=10";
  std::vector<uint8_t> sealed(CAesCipher::EncryptedSize(text.size()));
  ASSERT_EQ(
      cipher->EncryptBlocks(reinterpret_cast<const uint8_t*>(text.data()), text.size(), sealed.data(), sealed.size()),
      sealed.size());
  std::vector<uint8_t> opened(sealed.size());
  ASSERT_EQ(cipher->DecryptBlocks(sealed.data(), sealed.size(), opened.data(), opened.size()), text.size());
  EXPECT_EQ(std::string(opened.begin(), opened.begin() + static_cast<long>(text.size())), text);
}

// The archive reader keeps its cipher in the object MvsOpenSource allocates.
class MemorySource : public ArchiveSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = offset >= bytes_.size() ? 0 : static_cast<uint32_t>(std::min<uint64_t>(length, bytes_.size() - offset));
    if (*got != 0) std::memcpy(buffer, bytes_.data() + offset, *got);
    return true;
  }
  bool Size(uint64_t* size) override {
    *size = bytes_.size();
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
};

TEST_P(MisalignedCipher, ArchiveReaderReadsAnEncipheredArchive) {
  constexpr uint32_t kStub = 1024;
  archive::MemorySink sink;
  const std::vector<uint8_t> stub(kStub, 0);
  sink.Write(stub.data(), stub.size());
  archive::ArchiveOptions options;
  options.cipher = archive::kCipherAes256;
  archive::ArchiveWriter writer(sink, kStub, options);
  const std::vector<uint8_t> data(100000, 0x61);
  ASSERT_TRUE(writer.AddFile("main\\Program\\a.bin", data.data(), data.size(), 0x20, {})) << writer.error();
  ASSERT_TRUE(writer.Finish()) << writer.error();

  MvsFile* file = MvsOpenSource(std::make_unique<MemorySource>(sink.bytes()));
  ASSERT_NE(file, kMvsInvalid);
  UniqueMvsFile owner(file);
  EXPECT_TRUE(EightPastSixteen(file));
  uint8_t header[archive::kHeaderSize];
  ASSERT_TRUE(MvsReadHeader(file, header));
  ArchiveIndex index;
  std::string detail;
  ASSERT_EQ(LoadArchiveIndex(file, archive::DecodeHeader(header), &index, &detail), IndexStatus::kOk) << detail;
  ASSERT_EQ(index.entries.size(), 1u);
  EXPECT_TRUE(VerifyArchiveData(file, index, &detail)) << detail;
}

INSTANTIATE_TEST_SUITE_P(Aes, MisalignedCipher, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Instructions" : "Tables";
                         });

}  // namespace
}  // namespace qrn
