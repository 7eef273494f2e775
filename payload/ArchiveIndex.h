// Loading and checking the archive's index, name pool and times table.
//
// Everything read from the archive is bounded before use: the index, the
// pool and the times table must lie inside the stream, the index hold at
// most 2^18 entries and the pool at most 2^18 names' worth of bytes (260
// each), every name inside the pool and at most 260 bytes long, every
// entry's data inside the stream and below 2 GiB. A damaged archive is
// refused as a whole, before any of its entries is used. Portable: no
// windows.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"
#include "payload/MvsReader.h"

namespace qrn::archive {

struct IndexEntry {
  MvsEntry entry;
  std::string name;    // ANSI bytes as stored
  MvsFileTimes times;  // zero when the archive has no times table
  // Written by our packer: the seal in the times record holds, and the
  // reserved field carries the unpacked size and CRC-32 (ArchiveFormat.h).
  bool sealed = false;
  bool IsFolder() const { return (entry.attributes & kAttributeDirectory) != 0; }
  uint32_t UnpackedSize() const { return static_cast<uint32_t>(entry.reserved); }
  uint32_t UnpackedCrc() const { return static_cast<uint32_t>(entry.reserved >> 32); }
};

struct ArchiveIndex {
  MvsHeader header;
  bool hasTimes = false;
  std::vector<IndexEntry> entries;
};

enum class IndexStatus {
  kOk,
  kIndexMagic,  // the index does not start with the magic ("memcmp() failed")
  kDamaged,     // sizes, offsets or names out of bounds; see the detail text
  kReadFailed,  // a read of index, pool or times table came back short
  kOutOfMemory,
};

// Reads index, names and times of the archive whose header has been read
// with MvsReadHeader. On failure `detail` says what is wrong, naming the
// entry where one is at fault.
IndexStatus LoadArchiveIndex(MvsFile* file, const MvsHeader& header, ArchiveIndex* index, std::string* detail);

// Reads and unpacks every file entry as the installer does. For sealed
// entries the unpacked size and CRC-32 are checked as well. False on the
// first damaged entry, with `detail` naming it. What the installer accepts
// with a warning (bytes after a complete zlib stream) is added to `warnings`
// when given, one line per entry.
bool VerifyArchiveData(MvsFile* file, const ArchiveIndex& index, std::string* detail,
                       std::vector<std::string>* warnings = nullptr);

}  // namespace qrn::archive
