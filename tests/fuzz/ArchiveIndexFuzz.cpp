// The index, name pool and times table: LoadArchiveIndex over a plain
// setup (FuzzSupport.h) read through the real reader. What it accepts, the
// extraction pass uses unchecked: every name inside the pool and at most
// 260 bytes, every file's data inside the stream and below 2 GiB, one
// record per index entry.
#include <cstring>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveIndex.h"
#include "payload/MvsReader.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  using namespace qrn::archive;
  using namespace qrn::fuzz;
  std::vector<uint8_t> plainSetup(data, data + size);
  OpenedPlainSetup opened;
  if (!OpenPlainSetup(&plainSetup, &opened)) return 0;
  const UniqueMvsFile& reader = opened.reader;
  const MvsHeader& header = opened.header;
  ArchiveIndex index;
  std::string detail;
  const IndexStatus status = LoadArchiveIndex(reader.get(), header, &index, &detail);
  if (status != IndexStatus::kOk) {
    FUZZ_CHECK(!detail.empty() || status == IndexStatus::kOutOfMemory, "a refusal says why");
    return 0;
  }

  const uint64_t stream = MvsStreamSize(reader.get());
  const uint8_t* plain = plainSetup.data() + kHeaderSize;  // the deciphered stream
  FUZZ_CHECK(stream == plainSetup.size() - kHeaderSize, "the whole stream and no more");
  FUZZ_CHECK(index.entries.size() == EntryCount(header.indexSize), "one entry per index record");
  for (size_t i = 0; i < index.entries.size(); ++i) {
    const IndexEntry& e = index.entries[i];
    const std::string label = "entry " + std::to_string(i);
    FUZZ_CHECK(e.name.size() == e.entry.nameLength && e.name.size() <= kMaxNameLength, label + " name length");
    FUZZ_CHECK(uint64_t{e.entry.nameOffset} + e.entry.nameLength <= header.namesSize, label + " name in pool");
    FUZZ_CHECK(e.name.empty() ||
                   std::memcmp(e.name.data(), plain + header.namesOffset + e.entry.nameOffset, e.name.size()) == 0,
               label + " name bytes");
    if (!e.IsFolder()) {
      FUZZ_CHECK(e.entry.dataOffset <= stream && e.entry.packedSize <= stream - e.entry.dataOffset,
                 label + " data in stream");
      FUZZ_CHECK(e.entry.packedSize < (uint64_t{1} << 31), label + " data below 2 GiB");
    }
    FUZZ_CHECK(index.hasTimes || (!e.sealed && e.times.reserved == 0), label + " no times, no seal");
  }
  return 0;
}
