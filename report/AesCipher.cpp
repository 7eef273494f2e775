#include "report/AesCipher.h"

#include <cstring>

namespace qrn {
namespace {

// Sixteen lower-case letters: the key the object starts with.
const char kDefaultKey[] = "quorrinreportkey";
static_assert(sizeof kDefaultKey - 1 == 16, "the default key is an AES-128 key");

}  // namespace

CAesCipher::CAesCipher() { aes_.SetKey(reinterpret_cast<const uint8_t*>(kDefaultKey), 16); }

bool CAesCipher::SetKey(size_t length, const uint8_t* key) {
  aes_.ClearKey();
  if (length == 0) return true;
  if (key == nullptr) return false;
  return aes_.SetKey(key, length);
}

size_t CAesCipher::EncryptBlocks(const uint8_t* in, size_t length, uint8_t* out, size_t outSize) const {
  if (!aes_.HasKey() || out == nullptr || (in == nullptr && length != 0)) return 0;
  const size_t total = EncryptedSize(length);
  if (total > outSize) return 0;
  const size_t dataBlocks = total / 16 - 1;
  const size_t fill = dataBlocks * 16 - length;
  if (length != 0) std::memmove(out, in, length);
  std::memset(out + length, 0, fill + 16);
  const uint32_t marker = static_cast<uint32_t>(fill + 16);
  uint8_t* markerBlock = out + dataBlocks * 16;
  for (int i = 0; i < 4; ++i) markerBlock[i] = static_cast<uint8_t>(marker >> (8 * i));
  aes_.EncryptBlocks(out, dataBlocks + 1);
  return total;
}

size_t CAesCipher::DecryptBlocks(const uint8_t* in, size_t length, uint8_t* out, size_t outSize) const {
  if (!aes_.HasKey() || out == nullptr || in == nullptr || length % 16 != 0 || length > outSize) return 0;
  if (length == 0) return 0;
  std::memmove(out, in, length);
  aes_.DecryptBlocks(out, length / 16);
  const uint8_t* last = out + length - 16;
  const uint32_t marker =
      uint32_t{last[0]} | (uint32_t{last[1]} << 8) | (uint32_t{last[2]} << 16) | (uint32_t{last[3]} << 24);
  // A marker records 16 to 31; anything else (an answer that never had a
  // marker) would give a count beyond the bytes actually deciphered.
  if (marker < 16 || marker > 31 || marker > length) return 0;
  return length - marker;
}

}  // namespace qrn
