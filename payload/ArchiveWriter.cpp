#include "payload/ArchiveWriter.h"

#include <zlib.h>

#include <cstring>

namespace qrn::archive {
namespace {
constexpr size_t kStagingSize = 256 * 1024;  // a multiple of the block size
constexpr size_t kDeflateChunk = 64 * 1024;
}  // namespace

bool MemorySink::Write(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
  return true;
}

bool MemorySink::Patch(uint64_t offset, const void* data, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  std::memcpy(bytes_.data() + offset, data, size);
  return true;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (size > 0) {
    const uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
    crc = crc32(crc, data, n);
    data += n;
    size -= n;
  }
  return static_cast<uint32_t>(crc);
}

ArchiveWriter::ArchiveWriter(ArchiveSink& sink, uint32_t archiveStart, const ArchiveOptions& options)
    : sink_(sink), archiveStart_(archiveStart), options_(options) {
  staging_.reserve(kStagingSize);
  if (options_.cipher == kCipherAes256) {
    uint8_t key[32];
    MakeArchiveKey(kArchivePassString, key);
    aes_.SetKey(key, sizeof key);
  }
}

bool ArchiveWriter::Fail(const std::string& message) {
  if (!failed_) error_ = message;
  failed_ = true;
  return false;
}

bool ArchiveWriter::Begin() {
  if (finished_) return Fail("archive already finished");
  if (begun_) return !failed_;
  begun_ = true;
  // The header is patched in by Finish(); reserve its place now.
  const uint8_t zeros[kHeaderSize] = {};
  if (!sink_.Write(zeros, sizeof zeros)) return Fail("cannot write the archive header");
  return true;
}

bool ArchiveWriter::FlushBlocks(bool final) {
  size_t whole = staging_.size() - staging_.size() % kBlockSize;
  if (final && whole != staging_.size()) {
    staging_.resize(staging_.size() + (kBlockSize - staging_.size() % kBlockSize), 0);
    whole = staging_.size();
  }
  if (whole == 0) return true;
  if (options_.cipher == kCipherAes256) aes_.EncryptBlocks(staging_.data(), whole / kBlockSize);
  if (!sink_.Write(staging_.data(), whole)) return Fail("cannot write the archive stream");
  staging_.erase(staging_.begin(), staging_.begin() + static_cast<std::ptrdiff_t>(whole));
  return true;
}

bool ArchiveWriter::Append(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const size_t room = kStagingSize - staging_.size();
    const size_t take = size < room ? size : room;
    staging_.insert(staging_.end(), p, p + take);
    p += take;
    size -= take;
    logical_ += take;
    if (staging_.size() == kStagingSize && !FlushBlocks(false)) return false;
  }
  return true;
}

bool ArchiveWriter::AddName(const std::string& name, MvsEntry* entry) {
  if (name.empty() || name.size() > kMaxNameLength) {
    return Fail("entry name is empty or longer than 260 bytes: " + name);
  }
  if (entries_.size() >= kMaxEntries) {
    return Fail("more than " + std::to_string(kMaxEntries) + " files and folders: the archive index cannot hold " +
                name);
  }
  entry->nameLength = static_cast<uint32_t>(name.size());
  entry->nameOffset = static_cast<uint32_t>(names_.size());
  names_ += name;
  return true;
}

bool ArchiveWriter::AddFile(const std::string& name, const uint8_t* data, size_t size, uint32_t attributes,
                            const MvsFileTimes& times) {
  if (failed_ || !Begin()) return false;
  if (size >= kMaxEntryData) return Fail("file of 2 GiB or more is not supported: " + name);
  Pending p{};
  if (!AddName(name, &p.entry)) return false;
  p.entry.attributes = attributes & ~kAttributeDirectory;
  p.entry.dataOffset = logical_;
  p.entry.reserved = uint64_t{static_cast<uint32_t>(size)} | (uint64_t{Crc32(data, size)} << 32);
  p.times = times;

  if (options_.compression != kZlib) {
    if (!Append(data, size)) return false;
  } else {
    z_stream z{};
    if (deflateInit(&z, options_.zlibLevel) != Z_OK) return Fail("deflateInit failed");
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    uint8_t out[kDeflateChunk];
    int rc = Z_OK;
    do {
      z.next_out = out;
      z.avail_out = sizeof out;
      rc = deflate(&z, Z_FINISH);
      if (rc == Z_STREAM_ERROR) break;
      if (!Append(out, sizeof out - z.avail_out)) break;
    } while (rc != Z_STREAM_END);
    deflateEnd(&z);
    if (failed_) return false;
    if (rc != Z_STREAM_END) return Fail("deflate failed: " + name);
  }
  p.entry.packedSize = logical_ - p.entry.dataOffset;
  // Data that does not compress grows a little under zlib.
  if (p.entry.packedSize >= kMaxEntryData) return Fail("packed data of 2 GiB or more is not supported: " + name);
  entries_.push_back(p);
  return true;
}

bool ArchiveWriter::AddFolder(const std::string& name, uint32_t attributes, const MvsFileTimes& times) {
  if (failed_ || !Begin()) return false;
  Pending p{};
  if (!AddName(name, &p.entry)) return false;
  p.entry.attributes = attributes | kAttributeDirectory;
  p.entry.dataOffset = logical_;
  p.times = times;
  entries_.push_back(p);
  return true;
}

bool ArchiveWriter::Finish() {
  if (failed_ || !Begin()) return false;
  MvsHeader header{};
  std::memcpy(header.magic, kMagic, kMagicSize);
  header.versionMajor = options_.versionMajor;
  header.versionMinor = options_.versionMinor;
  header.compression = options_.compression;
  header.cipher = options_.cipher;

  header.indexOffset = logical_;
  if (!Append(kMagic, kMagicSize)) return false;
  for (const Pending& p : entries_) {
    uint8_t record[kEntrySize];
    EncodeEntry(p.entry, record);
    if (!Append(record, sizeof record)) return false;
  }
  header.indexSize = static_cast<uint32_t>(kMagicSize + kEntrySize * entries_.size());
  header.namesOffset = logical_;
  header.namesSize = static_cast<uint32_t>(names_.size());
  if (!Append(names_.data(), names_.size())) return false;
  if (HasTimesTable(header)) {
    for (const Pending& p : entries_) {
      MvsFileTimes sealed = p.times;
      sealed.reserved = PackerSeal(p.entry, p.times, names_.substr(p.entry.nameOffset, p.entry.nameLength));
      uint8_t record[kTimesSize];
      EncodeTimes(sealed, record);
      if (!Append(record, sizeof record)) return false;
    }
  }
  if (!FlushBlocks(true)) return false;

  uint8_t trailer[4];
  Put32(trailer, archiveStart_);
  if (!sink_.Write(trailer, sizeof trailer)) return Fail("cannot write the trailer");
  uint8_t bytes[kHeaderSize];
  EncodeHeader(header, bytes);
  if (!sink_.Patch(archiveStart_, bytes, sizeof bytes)) return Fail("cannot write the archive header");
  if (!sink_.Patch(kDosFieldOffset, trailer, sizeof trailer)) return Fail("cannot write the DOS-header field");
  uint8_t mark[4];
  Put32(mark, HeaderSeal(bytes));
  if (!sink_.Patch(kPackerMarkOffset, mark, sizeof mark)) return Fail("cannot write the packer's mark");
  finished_ = true;
  return true;
}

}  // namespace qrn::archive
