#include "payload/MemoryArchiveSource.h"

#include <cstring>

namespace qrn {

bool MemoryArchiveSource::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (offset >= bytes_.size()) return true;
  const uint64_t left = bytes_.size() - offset;
  *got = left < length ? static_cast<uint32_t>(left) : length;
  if (*got != 0) std::memcpy(buffer, bytes_.data() + offset, *got);
  return true;
}

bool MemoryArchiveSource::Size(uint64_t* size) {
  *size = bytes_.size();
  return true;
}

MvsFile* MvsOpenMemory(const uint8_t* bytes, size_t size) {
  return MvsOpenSource(std::make_unique<MemoryArchiveSource>(std::vector<uint8_t>(bytes, bytes + size)));
}

}  // namespace qrn
