// The payload archive appended to the installer executable.
//
//   file offset
//   0            +--------------------------------------------+
//                | executable image of the installer          |
//   28 (0x1C)    |   DOS header reserved words: archiveStart  |  u32 LE
//                |   ...                                      |
//   archiveStart +--------------------------------------------+
//                | MvsHeader, 40 bytes, never enciphered      |
//   +40          +--------------------------------------------+
//                | data stream, 16-byte blocks, each one      |
//                | enciphered on its own (AES-256, ECB):      |
//                |   entry data (stored or one zlib stream    |
//                |     per entry)                             |
//                |   index: magic + N x MvsEntry (36 bytes)   |
//                |   name pool (ANSI names, no terminators)   |
//                |   times table: N x MvsFileTimes (28 bytes) |
//                |   padding to 16                            |
//                +--------------------------------------------+
//                | trailer: archiveStart again                |  u32 LE
//                +--------------------------------------------+
//                | (signed files: padding + certificate)      |
//                +--------------------------------------------+
//
// All integers are little-endian. "Logical" offsets count bytes of the
// deciphered data stream. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "crypto/Md5.h"

namespace qrn::archive {

constexpr uint8_t kMagic[6] = {0x65, 0x61, 0x66, 0x66, 0xAA, 0x6A};  // "eaff" AA 6A
constexpr size_t kMagicSize = sizeof kMagic;
constexpr uint32_t kDosFieldOffset = 28;
// The DOS-header reserved words after the location field: our packer's mark
// (HeaderSeal), zero in the stub and left so by other builders.
constexpr uint32_t kPackerMarkOffset = 32;
constexpr size_t kHeaderSize = 40;
constexpr size_t kEntrySize = 36;
constexpr size_t kTimesSize = 28;
constexpr size_t kBlockSize = 16;
constexpr uint32_t kMaxNameLength = 260;

// What the format holds; the reader refuses more and the packer does not
// write it. An entry's data (packed or not) stays below 2 GiB.
constexpr uint64_t kMaxEntryData = uint64_t{1} << 31;
// Far above any real payload (the product has 133 entries), low enough that
// the bookkeeping of a damaged index cannot exhaust a 32-bit process.
constexpr uint32_t kMaxEntries = 1u << 18;
// Every name a pool can serve is at most 260 bytes, one per entry. The
// bound also keeps the pool's buffer (with a byte to spare) countable in 32
// bits: a pool of 4 GiB - 1 in a setup over 4 GiB would otherwise get a
// buffer of 0 bytes and then be read into it.
constexpr uint32_t kMaxNamePool = kMaxEntries * kMaxNameLength;

enum Compression : uint32_t { kStored = 1, kUnsupported = 2, kZlib = 3 };
enum Cipher : uint32_t { kCipherNone = 1, kCipherAes256 = 2 };

constexpr uint32_t kAttributeDirectory = 0x10;

// Shared by the installer's reader and the packer. The key is built from it
// at run time (see MakeArchiveKey).
constexpr char kArchivePassString[] = "Qrn-Payload/6.1#b7e3c9d4a1f2";

// The 40-byte header, decoded.
struct MvsHeader {
  uint8_t magic[6];
  uint8_t versionMajor;
  uint8_t versionMinor;
  uint32_t compression;
  uint32_t cipher;
  uint64_t indexOffset;
  uint64_t namesOffset;
  uint32_t indexSize;
  uint32_t namesSize;
};

// One index record (36 bytes on disk).
struct MvsEntry {
  uint64_t reserved;  // left to the builder; our packer's integrity check (see PackerSeal)
  uint64_t packedSize;
  uint64_t dataOffset;
  uint32_t nameLength;
  uint32_t nameOffset;
  uint32_t attributes;
};

// One times record (28 bytes on disk); FILETIME values.
struct MvsFileTimes {
  uint64_t creationTime;
  uint64_t lastWriteTime;
  uint64_t lastAccessTime;
  uint32_t reserved;  // left to the builder; our packer's seal (see PackerSeal)
};

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t Get64(const uint8_t* p) { return uint64_t{Get32(p)} | (uint64_t{Get32(p + 4)} << 32); }
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

MvsHeader DecodeHeader(const uint8_t bytes[kHeaderSize]);
void EncodeHeader(const MvsHeader& header, uint8_t bytes[kHeaderSize]);
MvsEntry DecodeEntry(const uint8_t bytes[kEntrySize]);
void EncodeEntry(const MvsEntry& entry, uint8_t bytes[kEntrySize]);
MvsFileTimes DecodeTimes(const uint8_t bytes[kTimesSize]);
void EncodeTimes(const MvsFileTimes& times, uint8_t bytes[kTimesSize]);

bool HasMagic(const uint8_t* bytes);
// Whether a header of this version is followed by the times table.
bool HasTimesTable(const MvsHeader& header);
// N = (indexSize - 6) / 36, any remainder ignored; 0 for an index shorter than its magic.
uint32_t EntryCount(uint32_t indexSize);

// The format leaves an entry's reserved field and its times record's
// reserved field to the builder, and a builder may leave them uninitialised.
// Our packer keeps an integrity check in them: the unpacked size (low 32
// bits) and CRC-32 (high 32 bits) of the entry's contents in MvsEntry::reserved,
// and in MvsFileTimes::reserved this seal, the first four bytes of the MD5 of
// a fixed tag, the 36-byte index record, the times record's three times and
// the entry's name as stored in the pool. An archive in which any entry's
// seal holds is our packer's: there every entry must hold its seal (a
// damaged record, time or name fails the archive instead of installing a
// file under a wrong name or none) and is checked against its size and
// CRC-32. Another builder's random reserved bytes make such an archive once
// in 2^32 per entry. Archives without a times table carry no seal.
uint32_t PackerSeal(const MvsEntry& entry, const MvsFileTimes& times, const std::string& name);

// Our packer's mark on the archive, kept in the DOS header (outside the
// archive, under a code signature): the first four bytes of the MD5 of a
// fixed tag and the 40 header bytes, never 0. A marked archive is our
// packer's whatever its entries hold: a header that no longer matches its
// mark fails the archive (a changed offset or size would read the index or
// names from elsewhere), and every entry must hold its seal.
uint32_t HeaderSeal(const uint8_t header[kHeaderSize]);

// The 32-byte AES-256 key: MD5 of the pass string, then MD5 of the same
// bytes reversed. The terminating NUL is not hashed.
void MakeArchiveKey(const char* passString, uint8_t key[32]);

}  // namespace qrn::archive
