#include "tests/fuzz/FuzzSupport.h"

#include <cstring>

#include "crypto/Aes.h"
#include "payload/ArchiveFormat.h"
#include "payload/MemoryArchiveSource.h"
#include "payload/MvsReader.h"

namespace qrn::fuzz {

using namespace archive;

std::vector<uint8_t> PlainToSetup(std::vector<uint8_t>* plain) {
  if (plain->size() < kHeaderSize) plain->resize(kHeaderSize, 0);
  plain->resize(kHeaderSize + (plain->size() - kHeaderSize + kBlockSize - 1) / kBlockSize * kBlockSize, 0);
  std::vector<uint8_t> setup(kStubSize, 0);
  setup[0] = 'M';
  setup[1] = 'Z';
  Put32(setup.data() + kDosFieldOffset, kStubSize);
  setup.insert(setup.end(), plain->begin(), plain->end());
  if (Get32(plain->data() + 12) == kCipherAes256) {
    uint8_t key[32];
    MakeArchiveKey(kArchivePassString, key);
    Aes aes;
    aes.SetKey(key, sizeof key);
    aes.EncryptBlocks(setup.data() + kStubSize + kHeaderSize, (plain->size() - kHeaderSize) / kBlockSize);
  }
  uint8_t trailer[4];
  Put32(trailer, kStubSize);
  setup.insert(setup.end(), trailer, trailer + sizeof trailer);
  return setup;
}

bool OpenPlainSetup(std::vector<uint8_t>* plain, OpenedPlainSetup* opened) {
  opened->setup = PlainToSetup(plain);
  opened->reader.reset(MvsOpenMemory(opened->setup.data(), opened->setup.size()));
  if (opened->reader.get() == kMvsInvalid) return false;
  uint8_t headerBytes[kHeaderSize];
  FUZZ_CHECK(MvsReadHeader(opened->reader.get(), headerBytes), "header read");
  opened->header = DecodeHeader(headerBytes);
  return true;
}

std::vector<uint8_t> SetupToPlain(const std::vector<uint8_t>& setup) {
  UniqueMvsFile reader(MvsOpenMemory(setup.data(), setup.size()));
  if (reader.get() == kMvsInvalid) return {};
  std::vector<uint8_t> plain(kHeaderSize);
  if (!MvsReadHeader(reader.get(), plain.data())) return {};
  const uint64_t stream = MvsStreamSize(reader.get());
  plain.resize(kHeaderSize + stream);
  if (MvsRead(reader.get(), plain.data() + kHeaderSize, static_cast<uint32_t>(stream)) !=
      static_cast<int64_t>(stream)) {
    return {};
  }
  return plain;
}

std::wstring Utf16Units(const uint8_t* bytes, size_t size) {
  std::wstring text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

void Fail(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace qrn::fuzz
