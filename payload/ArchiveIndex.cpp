#include "payload/ArchiveIndex.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "payload/ArchiveWriter.h"

namespace qrn::archive {
namespace {

// a + b <= limit without overflow.
bool FitsIn(uint64_t a, uint64_t b, uint64_t limit) { return a <= limit && b <= limit - a; }

std::string EntryLabel(size_t i, const std::string& name) {
  return "entry " + std::to_string(i) + (name.empty() ? std::string() : " '" + name + "'");
}

bool ReadAll(MvsFile* file, uint64_t offset, void* buffer, uint32_t length) {
  MvsSeek(file, offset);
  return MvsRead(file, buffer, length) == static_cast<int64_t>(length);
}

}  // namespace

IndexStatus LoadArchiveIndex(MvsFile* file, const MvsHeader& header, ArchiveIndex* index, std::string* detail) {
  const uint64_t stream = MvsStreamSize(file);
  index->header = header;
  index->entries.clear();
  index->hasTimes = HasTimesTable(header);

  if (header.indexSize < kMagicSize || !FitsIn(header.indexOffset, header.indexSize, stream)) {
    *detail = "index (offset " + std::to_string(header.indexOffset) + ", size " + std::to_string(header.indexSize) +
              ") lies outside the stream of " + std::to_string(stream) + " bytes";
    return IndexStatus::kDamaged;
  }
  const uint32_t count = EntryCount(header.indexSize);
  if (!FitsIn(header.namesOffset, header.namesSize, stream)) {
    *detail = "name pool (offset " + std::to_string(header.namesOffset) + ", size " + std::to_string(header.namesSize) +
              ") lies outside the stream";
    return IndexStatus::kDamaged;
  }
  if (header.namesSize > kMaxNamePool) {
    *detail = "name pool of " + std::to_string(header.namesSize) + " bytes is larger than any payload's";
    return IndexStatus::kDamaged;
  }
  // A times table cut short (a truncated file) is reported below with the
  // first entry whose record is missing.
  const uint64_t timesStart = header.namesOffset + header.namesSize;
  const uint64_t timesWanted = index->hasTimes ? uint64_t{count} * kTimesSize : 0;
  const uint64_t timesBytes = std::min(timesWanted, stream - timesStart);

  if (count > kMaxEntries) {
    *detail = "index of " + std::to_string(count) + " entries is larger than any payload";
    return IndexStatus::kDamaged;
  }
  // Sizes are bounded by the stream, which is bounded by the file; the
  // allocations may still fail in a 32-bit process, which is reported.
  std::unique_ptr<uint8_t[]> indexBytes(new (std::nothrow) uint8_t[header.indexSize]);
  std::unique_ptr<uint8_t[]> names(new (std::nothrow) uint8_t[header.namesSize + 1]);
  std::unique_ptr<uint8_t[]> times(new (std::nothrow) uint8_t[static_cast<size_t>(timesBytes) + 1]);
  if (!indexBytes || !names || !times) return IndexStatus::kOutOfMemory;
  index->entries.resize(count);
  if (!ReadAll(file, header.indexOffset, indexBytes.get(), header.indexSize)) {
    *detail = "the index cannot be read";
    return IndexStatus::kReadFailed;
  }
  if (!HasMagic(indexBytes.get())) {
    *detail = "the index does not start with the archive magic";
    return IndexStatus::kIndexMagic;
  }
  if (!ReadAll(file, header.namesOffset, names.get(), header.namesSize)) {
    *detail = "the name pool cannot be read";
    return IndexStatus::kReadFailed;
  }
  // The times table follows the pool directly.
  if (timesBytes != 0 &&
      MvsRead(file, times.get(), static_cast<uint32_t>(timesBytes)) != static_cast<int64_t>(timesBytes)) {
    *detail = "the times table cannot be read";
    return IndexStatus::kReadFailed;
  }

  for (uint32_t i = 0; i < count; ++i) {
    IndexEntry& e = index->entries[i];
    e.entry = DecodeEntry(indexBytes.get() + kMagicSize + uint64_t{i} * kEntrySize);
    if (e.entry.nameLength > kMaxNameLength) {
      *detail = EntryLabel(i, "") + ": name length " + std::to_string(e.entry.nameLength) + " is above 260";
      return IndexStatus::kDamaged;
    }
    if (!FitsIn(e.entry.nameOffset, e.entry.nameLength, header.namesSize)) {
      *detail = EntryLabel(i, "") + ": name lies outside the name pool";
      return IndexStatus::kDamaged;
    }
    e.name.assign(reinterpret_cast<const char*>(names.get()) + e.entry.nameOffset, e.entry.nameLength);
    if (!e.IsFolder()) {
      if (!FitsIn(e.entry.dataOffset, e.entry.packedSize, stream)) {
        *detail = EntryLabel(i, e.name) + ": data lies outside the stream";
        return IndexStatus::kDamaged;
      }
      if (e.entry.packedSize >= kMaxEntryData) {
        *detail = EntryLabel(i, e.name) + ": data of 2 GiB or more";
        return IndexStatus::kDamaged;
      }
    }
    if (index->hasTimes) {
      if (uint64_t{i + 1} * kTimesSize > timesBytes) {
        *detail = EntryLabel(i, e.name) + ": times record lies outside the stream";
        return IndexStatus::kDamaged;
      }
      e.times = DecodeTimes(times.get() + uint64_t{i} * kTimesSize);
      e.sealed = e.times.reserved == PackerSeal(e.entry, e.times, e.name);
    }
  }
  // Our packer marks the archive and seals every entry: a header that lost
  // its mark, or an entry without its seal in a marked archive or one with
  // sealed entries, was damaged after packing.
  const uint32_t mark = MvsPackerMark(file);
  if (mark != 0) {
    uint8_t headerBytes[kHeaderSize];
    EncodeHeader(header, headerBytes);
    if (HeaderSeal(headerBytes) != mark) {
      *detail = "the archive header differs from what was packed";
      return IndexStatus::kDamaged;
    }
  }
  const auto sealed = [](const IndexEntry& e) { return e.sealed; };
  if (index->hasTimes && (mark != 0 || std::any_of(index->entries.begin(), index->entries.end(), sealed))) {
    const auto broken = std::find_if_not(index->entries.begin(), index->entries.end(), sealed);
    if (broken != index->entries.end()) {
      const size_t i = static_cast<size_t>(broken - index->entries.begin());
      *detail = EntryLabel(i, broken->name) + ": its index record, times or name differ from what was packed";
      return IndexStatus::kDamaged;
    }
  }
  return IndexStatus::kOk;
}

bool VerifyArchiveData(MvsFile* file, const ArchiveIndex& index, std::string* detail,
                       std::vector<std::string>* warnings) {
  const uint32_t compression = index.header.compression;
  std::vector<uint8_t> in(64 * 1024), out(64 * 1024);
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const IndexEntry& e = index.entries[i];
    if (e.IsFolder()) continue;
    const std::string label = EntryLabel(i, e.name);
    if (compression != kStored && compression != kZlib) {
      *detail = label + ": compression method " + std::to_string(compression) + " is not supported";
      return false;
    }
    MvsSeek(file, e.entry.dataOffset);
    z_stream z{};
    if (compression == kZlib && inflateInit(&z) != Z_OK) {
      *detail = label + ": inflateInit failed";
      return false;
    }
    uint64_t unpacked = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    // No packed data at all is an empty file, whatever the compression.
    int rc = e.entry.packedSize == 0 ? Z_STREAM_END : Z_OK;
    bool ok = true;
    uint64_t left = e.entry.packedSize;
    while (ok && left > 0) {
      const uint32_t n = static_cast<uint32_t>(left < in.size() ? left : in.size());
      if (MvsRead(file, in.data(), n) != n) {
        *detail = label + ": data cannot be read (the stream ends early)";
        ok = false;
        break;
      }
      left -= n;
      if (compression == kStored) {
        crc = crc32(crc, in.data(), n);
        unpacked += n;
        continue;
      }
      z.next_in = in.data();
      z.avail_in = n;
      do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = out.size() - z.avail_out;
        crc = crc32(crc, out.data(), static_cast<uInt>(produced));
        unpacked += produced;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
          *detail = label + ": inflate error (" + (z.msg != nullptr ? z.msg : "code " + std::to_string(rc)) + ")";
          ok = false;
          break;
        }
      } while (rc != Z_STREAM_END && (z.avail_in > 0 || z.avail_out == 0));
      if (ok && rc == Z_STREAM_END && (z.avail_in > 0 || left > 0)) {
        // The stream and its checksum are whole: the installer writes the
        // file and ignores the rest.
        if (warnings != nullptr) {
          warnings->push_back(label + ": " + std::to_string(z.avail_in + left) +
                              " bytes after the end of its zlib stream are ignored");
        }
        break;
      }
    }
    if (compression == kZlib) {
      if (ok && rc != Z_STREAM_END) {
        *detail = label + ": zlib stream is cut short";
        ok = false;
      }
      inflateEnd(&z);
    }
    if (!ok) return false;
    if (e.sealed && (unpacked != e.UnpackedSize() || static_cast<uint32_t>(crc) != e.UnpackedCrc())) {
      *detail = label + ": contents differ from what was packed (size or CRC-32)";
      return false;
    }
  }
  return true;
}

}  // namespace qrn::archive
