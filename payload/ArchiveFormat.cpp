#include "payload/ArchiveFormat.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace qrn::archive {

MvsHeader DecodeHeader(const uint8_t b[kHeaderSize]) {
  MvsHeader h{};
  std::memcpy(h.magic, b, kMagicSize);
  h.versionMajor = b[6];
  h.versionMinor = b[7];
  h.compression = Get32(b + 8);
  h.cipher = Get32(b + 12);
  h.indexOffset = Get64(b + 16);
  h.namesOffset = Get64(b + 24);
  h.indexSize = Get32(b + 32);
  h.namesSize = Get32(b + 36);
  return h;
}

void EncodeHeader(const MvsHeader& h, uint8_t b[kHeaderSize]) {
  std::memcpy(b, h.magic, kMagicSize);
  b[6] = h.versionMajor;
  b[7] = h.versionMinor;
  Put32(b + 8, h.compression);
  Put32(b + 12, h.cipher);
  Put64(b + 16, h.indexOffset);
  Put64(b + 24, h.namesOffset);
  Put32(b + 32, h.indexSize);
  Put32(b + 36, h.namesSize);
}

MvsEntry DecodeEntry(const uint8_t b[kEntrySize]) {
  MvsEntry e{};
  e.reserved = Get64(b);
  e.packedSize = Get64(b + 8);
  e.dataOffset = Get64(b + 16);
  e.nameLength = Get32(b + 24);
  e.nameOffset = Get32(b + 28);
  e.attributes = Get32(b + 32);
  return e;
}

void EncodeEntry(const MvsEntry& e, uint8_t b[kEntrySize]) {
  Put64(b, e.reserved);
  Put64(b + 8, e.packedSize);
  Put64(b + 16, e.dataOffset);
  Put32(b + 24, e.nameLength);
  Put32(b + 28, e.nameOffset);
  Put32(b + 32, e.attributes);
}

MvsFileTimes DecodeTimes(const uint8_t b[kTimesSize]) {
  MvsFileTimes t{};
  t.creationTime = Get64(b);
  t.lastWriteTime = Get64(b + 8);
  t.lastAccessTime = Get64(b + 16);
  t.reserved = Get32(b + 24);
  return t;
}

void EncodeTimes(const MvsFileTimes& t, uint8_t b[kTimesSize]) {
  Put64(b, t.creationTime);
  Put64(b + 8, t.lastWriteTime);
  Put64(b + 16, t.lastAccessTime);
  Put32(b + 24, t.reserved);
}

bool HasMagic(const uint8_t* bytes) { return std::memcmp(bytes, kMagic, kMagicSize) == 0; }

bool HasTimesTable(const MvsHeader& h) { return h.versionMajor > 0 || h.versionMinor >= 3; }

uint32_t EntryCount(uint32_t indexSize) {
  return indexSize < kMagicSize ? 0 : static_cast<uint32_t>((indexSize - kMagicSize) / kEntrySize);
}

uint32_t PackerSeal(const MvsEntry& entry, const MvsFileTimes& times, const std::string& name) {
  static constexpr char kTag[] = "qrnpack entry seal 2";
  uint8_t record[kEntrySize];
  uint8_t timesRecord[kTimesSize];
  EncodeEntry(entry, record);
  EncodeTimes(times, timesRecord);
  Md5 md5;
  md5.Update(kTag, sizeof kTag - 1);
  md5.Update(record, sizeof record);
  md5.Update(timesRecord, kTimesSize - 4);  // not its own field
  md5.Update(name.data(), name.size());
  return Get32(md5.Finish().data());
}

uint32_t HeaderSeal(const uint8_t header[kHeaderSize]) {
  static constexpr char kTag[] = "qrnpack header seal 1";
  Md5 md5;
  md5.Update(kTag, sizeof kTag - 1);
  md5.Update(header, kHeaderSize);
  const uint32_t seal = Get32(md5.Finish().data());
  return seal != 0 ? seal : 1;
}

void MakeArchiveKey(const char* passString, uint8_t key[32]) {
  std::string copy(passString);
  const Md5Digest first = Md5Of(copy.data(), copy.size());
  std::reverse(copy.begin(), copy.end());
  const Md5Digest second = Md5Of(copy.data(), copy.size());
  std::memcpy(key, first.data(), 16);
  std::memcpy(key + 16, second.data(), 16);
}

}  // namespace qrn::archive
