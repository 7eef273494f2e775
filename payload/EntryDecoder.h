// Unpacks one archive entry's data into an output (an open file, in the
// installer: FileEntryOutput.h).
//
// Data move in large chunks (kInputChunk bytes read, kOutputChunk bytes per
// write), so an entry costs a few system calls per megabyte, and memory stays
// at the two chunks whatever the entry's or the archive's size. Every read,
// inflate and write is checked: a short read, a zlib stream that is damaged
// or cut short, a failed or short write, and (for entries sealed by our
// packer) contents that differ from what was packed all fail the entry. A
// zlib entry without packed data is an empty file; bytes after a complete
// zlib stream (its checksum held) are ignored with a warning.
// Portable: no windows.h.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveIndex.h"
#include "payload/MvsReader.h"

namespace qrn {

enum class DecodeStatus {
  kOk,
  kReadFailed,   // the stream gave fewer bytes than the entry owns
  kDamaged,      // inflate failed, or size/CRC differ from what was packed
  kWriteFailed,  // the output refused the data (WriteFile failed or wrote less)
  kUnsupported,  // a compression method other than stored or zlib
};

// Where an entry's unpacked bytes go, in order.
class EntryOutput {
 public:
  virtual ~EntryOutput() = default;
  // Takes all `size` bytes, or returns false with `detail` saying why.
  virtual bool Write(const uint8_t* data, uint32_t size, std::string* detail) = 0;
};

class EntryDecoder {
 public:
  static constexpr uint32_t kInputChunk = 256 * 1024;
  static constexpr uint32_t kOutputChunk = 1024 * 1024;  // one write; well under the 8 MiB cap

  EntryDecoder() = default;
  ~EntryDecoder();
  EntryDecoder(const EntryDecoder&) = delete;
  EntryDecoder& operator=(const EntryDecoder&) = delete;

  // Allocates the chunks and the inflate state; false when memory is short.
  bool Init();

  // Seeks to the entry's data and writes it, unpacked by `compression`, to
  // `out`. On failure `detail` says what went wrong and the output keeps
  // what was written before. On success `detail` is empty,
  // or holds a warning about data the entry's file does not need.
  DecodeStatus Decode(MvsFile* file, uint32_t compression, const archive::IndexEntry& entry, EntryOutput& out,
                      std::string* detail);

 private:
  DecodeStatus Stored(MvsFile* file, uint64_t packedSize, EntryOutput& out, std::string* detail);
  DecodeStatus Inflate(MvsFile* file, uint64_t packedSize, EntryOutput& out, std::string* detail);
  DecodeStatus Write(EntryOutput& out, const uint8_t* data, uint32_t size, std::string* detail);
  // Reads the next chunk of the entry's packed data (at most kInputChunk
  // bytes of the `*left` still unread) into the input buffer; its size in *n.
  DecodeStatus ReadChunk(MvsFile* file, uint64_t packedSize, uint64_t* left, uint32_t* n, std::string* detail);

  std::unique_ptr<uint8_t[]> input_;
  std::unique_ptr<uint8_t[]> output_;
  z_stream zlib_{};
  bool zlibReady_ = false;
  // What has been written for the current entry: count and CRC-32.
  uint64_t unpacked_ = 0;
  uLong crc_ = 0;
};

}  // namespace qrn
