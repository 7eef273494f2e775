// Reader of the payload archive (layout in ArchiveFormat.h).
//
// Calling order: MvsOpen, MvsReadHeader, any MvsSeek/MvsRead, MvsClose.
// Every operation first compares its argument with kMvsInvalid.
//
// The stream is read in windows of 64 KiB that are deciphered in place, so
// memory stays at one window whatever the archive's size. Reads never go past
// the end of the file: a read that reaches the end of the stream, or whose
// file read fails, hands out fewer bytes than asked and says so in its result.
// Portable core; the file access comes through ArchiveSource.
#pragma once

#include <cstdint>
#include <memory>

#include "payload/ArchiveFormat.h"

namespace qrn {

// Positional read access to the installer file.
class ArchiveSource {
 public:
  virtual ~ArchiveSource() = default;
  // Reads up to `length` bytes at `offset` into `buffer`; `*got` receives the
  // count read (0 at end of file). False on a failed read.
  virtual bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) = 0;
  // File size in bytes, or false when it cannot be determined.
  virtual bool Size(uint64_t* size) = 0;
};

struct MvsFile;

// The invalid reader value: a pointer with all bits set.
inline MvsFile* const kMvsInvalid = reinterpret_cast<MvsFile*>(~uintptr_t{0});

// Takes ownership of the source. kMvsInvalid when the location field cannot
// be read, the magic is found neither through the DOS-header field nor
// through the trailer, or the cipher is neither 1 nor 2.
MvsFile* MvsOpenSource(std::unique_ptr<ArchiveSource> source);

#if defined(_WIN32)
// Opens the file (GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).
MvsFile* MvsOpen(const wchar_t* path);
#else
MvsFile* MvsOpen(const char* path);
#endif

// Copies the 40 plain header bytes into `header` and positions the stream at
// logical offset 0. FALSE for the invalid value or a failed read.
bool MvsReadHeader(MvsFile* file, uint8_t header[archive::kHeaderSize]);

// Positions the stream at a logical offset and returns it (0 for the invalid
// value). An offset beyond the stream is accepted; the next read then
// returns 0 bytes.
uint64_t MvsSeek(MvsFile* file, uint64_t offset);

// Copies the next `length` logical bytes into `buffer`. Returns `length`, or
// fewer when the stream ends or a file read fails (the rest of the buffer is
// then undefined), or -1 for the invalid value.
int64_t MvsRead(MvsFile* file, void* buffer, uint32_t length);

// Frees the record and closes the file. Accepts the invalid value and null.
void MvsClose(MvsFile* file);

// Length of the logical stream in bytes (a multiple of 16): up to the
// trailer when the file ends with one, otherwise up to the end of the file.
uint64_t MvsStreamSize(MvsFile* file);

// File offset of the header, as found at open.
uint32_t MvsArchiveStart(MvsFile* file);

// The DOS-header word at kPackerMarkOffset, as found at open: our packer's
// HeaderSeal, or 0 in a setup another builder made.
uint32_t MvsPackerMark(MvsFile* file);

// Owner that closes the reader.
struct MvsCloser {
  void operator()(MvsFile* file) const { MvsClose(file); }
};
using UniqueMvsFile = std::unique_ptr<MvsFile, MvsCloser>;

}  // namespace qrn
