#include "payload/MvsReader.h"

#include <cstring>
#include <new>

#include "crypto/Aes.h"

namespace qrn {

using namespace archive;

namespace {
constexpr uint32_t kWindowSize = 64 * 1024;  // a multiple of the block size
}  // namespace

struct MvsFile {
  std::unique_ptr<ArchiveSource> source;
  uint32_t archiveStart = 0;
  uint32_t packerMark = 0;
  uint32_t cipher = kCipherNone;
  Aes aes;
  uint64_t streamSize = 0;
  uint64_t position = 0;      // logical offset of the next byte to hand out
  uint64_t windowStart = 0;   // logical offset of window[0], a multiple of 16
  uint32_t windowLength = 0;  // deciphered bytes held, a multiple of 16
  std::unique_ptr<uint8_t[]> window;
};

namespace {

bool ReadExact(ArchiveSource& source, uint64_t offset, void* buffer, uint32_t length) {
  uint32_t got = 0;
  return source.ReadAt(offset, buffer, length, &got) && got == length;
}

bool ReadHeaderAt(ArchiveSource& source, uint32_t offset, uint8_t header[kHeaderSize]) {
  std::memset(header, 0, kHeaderSize);
  return ReadExact(source, offset, header, kHeaderSize) && HasMagic(header);
}

// Loads the window that starts at the block holding `offset`.
bool FillWindow(MvsFile& f, uint64_t offset) {
  const uint64_t start = offset - offset % kBlockSize;
  f.windowStart = start;
  f.windowLength = 0;
  if (start >= f.streamSize) return false;
  uint64_t want = f.streamSize - start;
  if (want > kWindowSize) want = kWindowSize;
  uint32_t got = 0;
  const bool ok = f.source->ReadAt(uint64_t{f.archiveStart} + kHeaderSize + start, f.window.get(),
                                   static_cast<uint32_t>(want), &got);
  if (!ok) return false;
  got -= got % kBlockSize;
  if (f.cipher == kCipherAes256) f.aes.DecryptBlocks(f.window.get(), got / kBlockSize);
  f.windowLength = got;
  return got > 0;
}

}  // namespace

MvsFile* MvsOpenSource(std::unique_ptr<ArchiveSource> source) {
  if (!source) return kMvsInvalid;
  uint8_t field[4];
  if (!ReadExact(*source, kDosFieldOffset, field, sizeof field)) return kMvsInvalid;
  uint32_t archiveStart = Get32(field);
  uint8_t header[kHeaderSize];
  uint64_t fileSize = 0;
  if (!source->Size(&fileSize)) return kMvsInvalid;
  if (!ReadHeaderAt(*source, archiveStart, header)) {
    // No header where the DOS field points: the trailer (last four bytes)
    // may still locate it.
    if (fileSize < 4 || !ReadExact(*source, fileSize - 4, field, sizeof field)) return kMvsInvalid;
    archiveStart = Get32(field);
    if (!ReadHeaderAt(*source, archiveStart, header)) return kMvsInvalid;
  }
  const uint32_t cipher = Get32(header + 12);
  if (cipher != kCipherNone && cipher != kCipherAes256) return kMvsInvalid;

  std::unique_ptr<MvsFile> f(new (std::nothrow) MvsFile);
  if (!f) return kMvsInvalid;
  f->window.reset(new (std::nothrow) uint8_t[kWindowSize]);
  if (!f->window) return kMvsInvalid;
  f->archiveStart = archiveStart;
  uint8_t mark[4];
  f->packerMark = ReadExact(*source, kPackerMarkOffset, mark, sizeof mark) ? Get32(mark) : 0;
  f->cipher = cipher;
  if (cipher == kCipherAes256) {
    uint8_t key[32];
    MakeArchiveKey(kArchivePassString, key);
    f->aes.SetKey(key, sizeof key);
    std::memset(key, 0, sizeof key);
  }
  // The stream ends at the trailer when the file ends with one; a signed
  // file carries more after it, so only the file's end bounds the stream.
  const uint64_t streamBegin = uint64_t{archiveStart} + kHeaderSize;
  if (fileSize > streamBegin) {
    uint64_t bytes = fileSize - streamBegin;
    if (bytes >= 4 && (bytes - 4) % kBlockSize == 0 && ReadExact(*source, fileSize - 4, field, sizeof field) &&
        Get32(field) == archiveStart) {
      bytes -= 4;
    }
    f->streamSize = bytes - bytes % kBlockSize;
  }
  f->source = std::move(source);
  return f.release();
}

bool MvsReadHeader(MvsFile* file, uint8_t header[kHeaderSize]) {
  if (file == kMvsInvalid || file == nullptr) return false;
  if (!ReadExact(*file->source, file->archiveStart, header, kHeaderSize)) return false;
  MvsSeek(file, 0);
  return true;
}

uint64_t MvsSeek(MvsFile* file, uint64_t offset) {
  if (file == kMvsInvalid || file == nullptr) return 0;
  file->position = offset;
  return offset;
}

int64_t MvsRead(MvsFile* file, void* buffer, uint32_t length) {
  if (file == kMvsInvalid || file == nullptr) return -1;
  MvsFile& f = *file;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t copied = 0;
  while (copied < length) {
    if (f.position < f.windowStart || f.position >= f.windowStart + f.windowLength) {
      if (!FillWindow(f, f.position) || f.position >= f.windowStart + f.windowLength) break;
    }
    const uint32_t inWindow = static_cast<uint32_t>(f.position - f.windowStart);
    uint32_t take = f.windowLength - inWindow;
    if (take > length - copied) take = length - copied;
    std::memcpy(out + copied, f.window.get() + inWindow, take);
    copied += take;
    f.position += take;
  }
  return copied;
}

void MvsClose(MvsFile* file) {
  if (file == kMvsInvalid || file == nullptr) return;
  delete file;
}

uint64_t MvsStreamSize(MvsFile* file) { return (file == kMvsInvalid || file == nullptr) ? 0 : file->streamSize; }

uint32_t MvsArchiveStart(MvsFile* file) { return (file == kMvsInvalid || file == nullptr) ? 0 : file->archiveStart; }

uint32_t MvsPackerMark(MvsFile* file) { return (file == kMvsInvalid || file == nullptr) ? 0 : file->packerMark; }

}  // namespace qrn
