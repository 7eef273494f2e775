// The installer's entry decoder (stored and zlib; the stream plain or
// enciphered) over every file entry of an archive whose index loads, against
// the packer's own check of the same data (VerifyArchiveData): the release
// check must pass exactly the setups that install. Input: a plain setup
// (FuzzSupport.h), read through the real reader.
//
// Each entry is decoded three times: into an output that takes everything,
// into one that refuses the first write, and again after all the others in
// reverse order. The decoder is one object for all of them, as in the
// extraction pass, so a state left over from a failed or earlier entry
// shows as a different result.
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/MvsReader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace qrn::fuzz {
namespace {

using namespace archive;

// Counts and sums what it is given; for a stored entry also compares it
// with the entry's bytes in the stream.
class CheckedOutput final : public EntryOutput {
 public:
  CheckedOutput(const uint8_t* expected, uint64_t expectedSize, bool refuse)
      : expected_(expected), expectedSize_(expectedSize), refuse_(refuse) {}

  bool Write(const uint8_t* data, uint32_t size, std::string* detail) override {
    FUZZ_CHECK(size > 0, "an empty write");
    ++writes_;
    if (refuse_) {
      *detail = "refused";
      return false;
    }
    if (expected_ != nullptr) {
      FUZZ_CHECK(count_ + size <= expectedSize_ && std::memcmp(data, expected_ + count_, size) == 0,
                 "stored bytes at " + std::to_string(count_));
    }
    count_ += size;
    crc_ = crc32(crc_, data, size);
    return true;
  }

  uint64_t count() const { return count_; }
  uLong crc() const { return crc_; }
  int writes() const { return writes_; }

 private:
  const uint8_t* expected_;
  uint64_t expectedSize_;
  bool refuse_;
  uint64_t count_ = 0;
  uLong crc_ = crc32(0L, Z_NULL, 0);
  int writes_ = 0;
};

struct Outcome {
  DecodeStatus status;
  std::string detail;
  uint64_t count;
  uLong crc;
};

EntryDecoder& Decoder() {
  // Its two chunks are 1.25 MiB: made once, as the extraction pass makes it
  // once for all entries.
  static EntryDecoder* decoder = [] {
    auto* d = new EntryDecoder;
    if (!d->Init()) Fail(__FILE__, __LINE__, "decoder buffers");
    return d;
  }();
  return *decoder;
}

Outcome Decode(MvsFile* file, uint32_t compression, const IndexEntry& e, const uint8_t* stream, bool refuse) {
  const uint8_t* expected = compression == kStored ? stream + e.entry.dataOffset : nullptr;
  CheckedOutput out(expected, e.entry.packedSize, refuse);
  Outcome o;
  o.status = Decoder().Decode(file, compression, e, out, &o.detail);
  o.count = out.count();
  o.crc = out.crc();
  if (refuse) o.count = static_cast<uint64_t>(out.writes());
  return o;
}

}  // namespace
}  // namespace qrn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  using namespace qrn::archive;
  using namespace qrn::fuzz;
  std::vector<uint8_t> plain(data, data + size);
  OpenedPlainSetup opened;
  if (!OpenPlainSetup(&plain, &opened)) return 0;
  const UniqueMvsFile& reader = opened.reader;
  ArchiveIndex index;
  std::string detail;
  if (LoadArchiveIndex(reader.get(), opened.header, &index, &detail) != IndexStatus::kOk) return 0;
  const uint32_t compression = index.header.compression;
  const uint8_t* stream = plain.data() + kHeaderSize;

  std::vector<size_t> files;
  for (size_t i = 0; i < index.entries.size(); ++i) {
    if (!index.entries[i].IsFolder()) files.push_back(i);
  }
  std::vector<Outcome> first;
  bool installs = true;
  size_t warnings = 0;
  for (size_t i : files) {
    const IndexEntry& e = index.entries[i];
    const std::string label = "entry " + std::to_string(i);
    const Outcome taken = Decode(reader.get(), compression, e, stream, false);
    if (taken.status == DecodeStatus::kOk) {
      if (!taken.detail.empty()) ++warnings;
      if (e.sealed) FUZZ_CHECK(taken.count == e.UnpackedSize() && taken.crc == e.UnpackedCrc(), label + " seal");
      if (compression == kStored) FUZZ_CHECK(taken.count == e.entry.packedSize, label + " stored size");
    } else {
      FUZZ_CHECK(!taken.detail.empty(), label + " a failure says why");
      FUZZ_CHECK(taken.status != DecodeStatus::kWriteFailed, label + " nothing refused a write");
      installs = false;
    }
    // Refused at once: the decoder gives up at its first write, or fails as
    // before when the entry never got to one.
    const Outcome refused = Decode(reader.get(), compression, e, stream, true);
    if (taken.count > 0) {
      FUZZ_CHECK(refused.status == DecodeStatus::kWriteFailed && refused.count == 1 && refused.detail == "refused",
                 label + " refused write");
    } else {
      FUZZ_CHECK(refused.status == taken.status && refused.count == 0, label + " no write to refuse");
    }
    first.push_back(taken);
  }
  for (size_t k = files.size(); k-- > 0;) {
    const Outcome again = Decode(reader.get(), compression, index.entries[files[k]], stream, false);
    const Outcome& before = first[k];
    FUZZ_CHECK(again.status == before.status && again.detail == before.detail && again.count == before.count &&
                   again.crc == before.crc,
               "entry " + std::to_string(files[k]) + " decoded again differs");
  }

  // The packer's verify passes exactly what installs, with the same warnings.
  std::vector<std::string> verifyWarnings;
  const bool verified = VerifyArchiveData(reader.get(), index, &detail, &verifyWarnings);
  FUZZ_CHECK(verified == installs, std::string("verify ") + (verified ? "passes" : "fails: " + detail) +
                                       ", the installer " + (installs ? "installs" : "fails"));
  if (verified) FUZZ_CHECK(verifyWarnings.size() == warnings, "warnings differ");
  return 0;
}
