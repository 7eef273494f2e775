// AES block cipher (FIPS-197) for 128-, 192- and 256-bit keys.
//
// Portable: no windows.h. Blocks are processed one by one (electronic
// codebook use, no chaining, no IV); callers build their modes on top.
// The table-driven code runs everywhere; on processors with the AES
// instructions the bulk operations use them (chosen once, at run time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrn {

class Aes {
 public:
  static constexpr size_t kBlockSize = 16;

  Aes() = default;

  // Expands the key. Accepts 16, 24 or 32 bytes; any other length leaves
  // the object without key and returns false.
  bool SetKey(const uint8_t* key, size_t length);
  void ClearKey();
  bool HasKey() const { return rounds_ != 0; }

  // One block; in and out may be the same buffer. No effect without key.
  void EncryptBlock(const uint8_t in[16], uint8_t out[16]) const;
  void DecryptBlock(const uint8_t in[16], uint8_t out[16]) const;

  // `blocks` consecutive blocks in place.
  void EncryptBlocks(uint8_t* data, size_t blocks) const;
  void DecryptBlocks(uint8_t* data, size_t blocks) const;

  // True when the processor's AES instructions are used.
  static bool UsesHardware();
  // Switches the instructions off (or back on, where present) so that tests
  // reach both code paths. Returns the previous setting.
  static bool SetHardwareForTesting(bool use);

 private:
  int rounds_ = 0;
  uint32_t enc_[60] = {};  // encryption round keys, FIPS-197 word order
  uint32_t dec_[60] = {};  // equivalent inverse cipher round keys
  // Round keys as bytes, for the instructions. No alignment is assumed: an
  // owner may place the object at any multiple of 4 (see Aes.cpp).
  uint8_t encBytes_[240] = {};
  uint8_t decBytes_[240] = {};
};

}  // namespace qrn
