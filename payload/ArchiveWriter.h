// Writes a payload archive (layout in ArchiveFormat.h) behind an installer
// image: header, enciphered stream, index, name pool, times table, padding,
// trailer, and the DOS-header location field. Every file entry carries its
// unpacked size and CRC-32, sealed in its times record (PackerSeal). Output
// depends only on the entries and options given, so the same input gives the
// same bytes.
// Portable: no windows.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "payload/ArchiveFormat.h"

namespace qrn::archive {

// Where the setup file is written. Offsets are file offsets.
class ArchiveSink {
 public:
  virtual ~ArchiveSink() = default;
  virtual bool Write(const void* data, size_t size) = 0;
  virtual bool Patch(uint64_t offset, const void* data, size_t size) = 0;
};

// A sink that keeps the whole file in memory (tests, small setups).
class MemorySink final : public ArchiveSink {
 public:
  bool Write(const void* data, size_t size) override;
  bool Patch(uint64_t offset, const void* data, size_t size) override;
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

struct ArchiveOptions {
  uint32_t compression = kZlib;  // kStored or kZlib; other values are written as given, with stored data
  uint32_t cipher = kCipherAes256;
  uint8_t versionMajor = 0;
  uint8_t versionMinor = 3;  // below 0.3 no times table is written
  int zlibLevel = 6;
};

class ArchiveWriter {
 public:
  // The installer image must already be in the sink: `archiveStart` is its
  // size, where the header goes.
  ArchiveWriter(ArchiveSink& sink, uint32_t archiveStart, const ArchiveOptions& options);

  // `name` is the entry name as stored: ANSI (code page 936) bytes,
  // backslash-separated, at most 260 bytes.
  bool AddFile(const std::string& name, const uint8_t* data, size_t size, uint32_t attributes,
               const MvsFileTimes& times);
  bool AddFolder(const std::string& name, uint32_t attributes, const MvsFileTimes& times);

  // Writes index, names, times, padding and trailer, then patches the header
  // and the DOS-header field. The writer is done afterwards.
  bool Finish();

  const std::string& error() const { return error_; }

 private:
  struct Pending {
    MvsEntry entry;
    MvsFileTimes times;
  };

  bool Begin();
  bool Append(const void* data, size_t size);  // logical stream bytes
  bool FlushBlocks(bool final);
  bool AddName(const std::string& name, MvsEntry* entry);
  bool Fail(const std::string& message);

  ArchiveSink& sink_;
  uint32_t archiveStart_;
  ArchiveOptions options_;
  Aes aes_;
  bool begun_ = false;
  bool failed_ = false;
  bool finished_ = false;
  uint64_t logical_ = 0;  // logical bytes appended so far
  std::vector<uint8_t> staging_;
  std::vector<Pending> entries_;
  std::string names_;
  std::string error_;
};

// Zlib CRC-32 of a buffer, as the packer stores it in an entry's reserved field.
uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace qrn::archive
