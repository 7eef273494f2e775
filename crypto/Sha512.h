// SHA-512 message digest (FIPS 180-4). Portable: no windows.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qrn {

using Sha512Digest = std::array<uint8_t, 64>;

class Sha512 {
 public:
  Sha512();
  void Update(const void* data, size_t length);
  Sha512Digest Finish();  // the object must be Reset() before reuse
  void Reset();

 private:
  void Transform(const uint8_t block[128]);

  uint64_t state_[8];
  uint64_t bytes_ = 0;  // messages stay far below 2^64 bytes; the high length word is always 0
  uint8_t buffer_[128];
};

Sha512Digest Sha512Of(const void* data, size_t length);

// The digest as 128 lower-case hexadecimal characters, two per byte, in
// digest order.
std::string Sha512Hex(const void* data, size_t length);
inline std::string Sha512Hex(const std::string& bytes) { return Sha512Hex(bytes.data(), bytes.size()); }

}  // namespace qrn
