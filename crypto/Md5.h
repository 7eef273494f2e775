// MD5 message digest (RFC 1321). Portable: no windows.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qrn {

using Md5Digest = std::array<uint8_t, 16>;

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t length);
  Md5Digest Finish();  // the object must be Reset() before reuse
  void Reset();

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bytes_ = 0;
  uint8_t buffer_[64];
};

Md5Digest Md5Of(const void* data, size_t length);

}  // namespace qrn
