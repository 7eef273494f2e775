#include "payload/EntryDecoder.h"

#include <new>

namespace qrn {

using namespace archive;

EntryDecoder::~EntryDecoder() {
  if (zlibReady_) inflateEnd(&zlib_);
}

bool EntryDecoder::Init() {
  input_.reset(new (std::nothrow) uint8_t[kInputChunk]);
  output_.reset(new (std::nothrow) uint8_t[kOutputChunk]);
  if (!input_ || !output_) return false;
  if (!zlibReady_) {
    zlib_ = z_stream{};
    // zlib format (RFC 1950), 32 KiB window; one state reused for every entry.
    if (inflateInit(&zlib_) != Z_OK) return false;
    zlibReady_ = true;
  }
  return true;
}

DecodeStatus EntryDecoder::Decode(MvsFile* file, uint32_t compression, const IndexEntry& entry, EntryOutput& out,
                                  std::string* detail) {
  detail->clear();
  unpacked_ = 0;
  crc_ = crc32(0L, Z_NULL, 0);
  MvsSeek(file, entry.entry.dataOffset);
  DecodeStatus status;
  if (compression == kStored) {
    status = Stored(file, entry.entry.packedSize, out, detail);
  } else if (compression == kZlib) {
    status = Inflate(file, entry.entry.packedSize, out, detail);
  } else {
    *detail = "compression method " + std::to_string(compression) + " is not supported";
    return DecodeStatus::kUnsupported;
  }
  if (status != DecodeStatus::kOk) return status;
  // Only our packer's entries say what they hold; another builder's reserved
  // bytes mean nothing.
  if (entry.sealed && (unpacked_ != entry.UnpackedSize() || static_cast<uint32_t>(crc_) != entry.UnpackedCrc())) {
    *detail = "contents differ from what was packed (" + std::to_string(unpacked_) + " bytes unpacked, " +
              std::to_string(entry.UnpackedSize()) + " packed)";
    return DecodeStatus::kDamaged;
  }
  return DecodeStatus::kOk;
}

DecodeStatus EntryDecoder::ReadChunk(MvsFile* file, uint64_t packedSize, uint64_t* left, uint32_t* n,
                                     std::string* detail) {
  *n = *left < kInputChunk ? static_cast<uint32_t>(*left) : kInputChunk;
  const int64_t got = MvsRead(file, input_.get(), *n);
  if (got != *n) {
    *detail = "data cannot be read (" + std::to_string(packedSize - *left + (got > 0 ? got : 0)) + " of " +
              std::to_string(packedSize) + " bytes)";
    return DecodeStatus::kReadFailed;
  }
  *left -= *n;
  return DecodeStatus::kOk;
}

DecodeStatus EntryDecoder::Stored(MvsFile* file, uint64_t packedSize, EntryOutput& out, std::string* detail) {
  uint64_t left = packedSize;
  while (left > 0) {
    uint32_t n = 0;
    DecodeStatus status = ReadChunk(file, packedSize, &left, &n, detail);
    if (status == DecodeStatus::kOk) status = Write(out, input_.get(), n, detail);
    if (status != DecodeStatus::kOk) return status;
  }
  return DecodeStatus::kOk;
}

DecodeStatus EntryDecoder::Inflate(MvsFile* file, uint64_t packedSize, EntryOutput& out, std::string* detail) {
  // No packed data at all: an empty file, not a stream cut short.
  if (packedSize == 0) return DecodeStatus::kOk;
  inflateReset(&zlib_);
  uint64_t left = packedSize;
  zlib_.next_in = input_.get();
  zlib_.avail_in = 0;
  zlib_.next_out = output_.get();
  zlib_.avail_out = kOutputChunk;
  DecodeStatus status = DecodeStatus::kOk;
  for (;;) {
    if (zlib_.avail_in == 0 && left > 0) {
      uint32_t n = 0;
      const DecodeStatus read = ReadChunk(file, packedSize, &left, &n, detail);
      if (read != DecodeStatus::kOk) return read;
      zlib_.next_in = input_.get();
      zlib_.avail_in = n;
    }
    const int rc = inflate(&zlib_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    // Z_BUF_ERROR only says that no progress was possible; the checks below
    // tell a full output chunk from missing input.
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      *detail =
          std::string("inflate error (") + (zlib_.msg != nullptr ? zlib_.msg : "code " + std::to_string(rc)) + ")";
      return DecodeStatus::kDamaged;
    }
    if (zlib_.avail_out == 0) {
      status = Write(out, output_.get(), kOutputChunk, detail);
      if (status != DecodeStatus::kOk) return status;
      zlib_.next_out = output_.get();
      zlib_.avail_out = kOutputChunk;
    } else if (zlib_.avail_in == 0 && left == 0) {
      // All input consumed, room left for output, and no end of stream.
      *detail = "zlib stream is cut short";
      return DecodeStatus::kDamaged;
    }
  }
  status = Write(out, output_.get(), kOutputChunk - zlib_.avail_out, detail);
  if (status != DecodeStatus::kOk) return status;
  if (zlib_.avail_in > 0 || left > 0) {
    // The stream ended with its checksum held: the file is whole.
    *detail = std::to_string(zlib_.avail_in + left) + " bytes after the end of its zlib stream are ignored";
  }
  return DecodeStatus::kOk;
}

DecodeStatus EntryDecoder::Write(EntryOutput& out, const uint8_t* data, uint32_t size, std::string* detail) {
  if (size == 0) return DecodeStatus::kOk;
  crc_ = crc32(crc_, data, size);
  unpacked_ += size;
  return out.Write(data, size, detail) ? DecodeStatus::kOk : DecodeStatus::kWriteFailed;
}

}  // namespace qrn
