// The report's AES block cipher object: ECB over whole blocks, a zero-filled
// last block, and one trailing marker block that records the fill.
//
// Layout written by EncryptBlocks for `length` input bytes:
//
//   +-----------+-----------+-- ... --+----------------------+--------------+
//   | block 0   | block 1   |         | last block           | marker block |
//   | 16 bytes  | 16 bytes  |         | data + `fill` zeros  | 16 bytes     |
//   +-----------+-----------+-- ... --+----------------------+--------------+
//   marker plaintext: uint32 little-endian (fill + 16), then 12 zero bytes.
//
// Every block is enciphered on its own (no chaining, no IV). Portable.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/Aes.h"

namespace qrn {

class CAesCipher {
 public:
  // Keyed with the built-in default AES-128 key; the report replaces it
  // before any use.
  CAesCipher();

  // Discards the current key schedule. 0 leaves the object without key;
  // 16, 24 or 32 bytes build AES-128/192/256 from `key` unchanged. Any other
  // length also leaves it without key and returns false.
  bool SetKey(size_t length, const uint8_t* key);
  bool HasKey() const { return aes_.HasKey(); }

  // Bytes EncryptBlocks writes for `length` input bytes: the data blocks
  // plus the marker block.
  static size_t EncryptedSize(size_t length) { return (length + 15) / 16 * 16 + 16; }

  // Enciphers `length` bytes of `in` into `out` (capacity `outSize` bytes)
  // and returns EncryptedSize(length). Writes nothing and returns 0 without
  // key, without output, or when the output is too small.
  size_t EncryptBlocks(const uint8_t* in, size_t length, uint8_t* out, size_t outSize) const;

  // Deciphers `length` bytes (a multiple of 16) into `out` (capacity
  // `outSize`). Returns the data length the trailing marker block records
  // (bytes deciphered minus its first word); 0 when the last block is no
  // valid marker, and 0 with nothing written without key or output, for a
  // length that is no multiple of 16, or when the output is too small.
  size_t DecryptBlocks(const uint8_t* in, size_t length, uint8_t* out, size_t outSize) const;

 private:
  Aes aes_;
};

}  // namespace qrn
