// An archive source over bytes held in memory: the reader over a setup that
// is not a file (fuzzing, tests). Reads behave as the file sources' do at
// the end of a file: what lies past the end is not there, and a read there
// succeeds with fewer bytes. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "payload/MvsReader.h"

namespace qrn {

class MemoryArchiveSource final : public ArchiveSource {
 public:
  explicit MemoryArchiveSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool Size(uint64_t* size) override;

 private:
  std::vector<uint8_t> bytes_;
};

// MvsOpenSource over a copy of `bytes`.
MvsFile* MvsOpenMemory(const uint8_t* bytes, size_t size);

}  // namespace qrn
