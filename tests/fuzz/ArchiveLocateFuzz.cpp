// Locating the archive in a setup file: the DOS-header field, else the
// trailer; the stream's length; windowed, deciphered reads at any position.
// Input: a whole setup file, read through an in-memory source.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "payload/ArchiveFormat.h"
#include "payload/MemoryArchiveSource.h"
#include "payload/MvsReader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace qrn::fuzz {
namespace {

using namespace archive;

// The stream's bytes as the reader must hand them out, computed block by
// block straight from the file.
std::vector<uint8_t> ExpectedStream(const uint8_t* data, uint64_t begin, uint64_t length, uint32_t cipher) {
  std::vector<uint8_t> plain(data + begin, data + begin + length);
  if (cipher == kCipherAes256) {
    uint8_t key[32];
    MakeArchiveKey(kArchivePassString, key);
    Aes aes;
    aes.SetKey(key, sizeof key);
    for (size_t at = 0; at + kBlockSize <= plain.size(); at += kBlockSize) {
      aes.DecryptBlock(plain.data() + at, plain.data() + at);
    }
  }
  return plain;
}

void CheckRead(MvsFile* file, const std::vector<uint8_t>& expected, uint64_t at, uint32_t length) {
  std::vector<uint8_t> got(length + 1);
  FUZZ_CHECK(MvsSeek(file, at) == at, "seek");
  const int64_t n = MvsRead(file, got.data(), length);
  const uint64_t stream = expected.size();
  const uint64_t want = at >= stream ? 0 : std::min<uint64_t>(length, stream - at);
  FUZZ_CHECK(n == static_cast<int64_t>(want),
             "read of " + std::to_string(length) + " at " + std::to_string(at) + " gave " + std::to_string(n));
  FUZZ_CHECK(want == 0 || std::memcmp(got.data(), expected.data() + at, want) == 0,
             "bytes at " + std::to_string(at) + " differ");
}

}  // namespace
}  // namespace qrn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  using namespace qrn::archive;
  using namespace qrn::fuzz;
  MvsFile* file = MvsOpenMemory(data, size);
  if (file == kMvsInvalid) return 0;
  UniqueMvsFile owner(file);

  const uint64_t start = MvsArchiveStart(file);
  const uint64_t stream = MvsStreamSize(file);
  // Found where one of the two locations says, and everything inside the file.
  FUZZ_CHECK(size >= 32, "a located archive needs the DOS field");
  FUZZ_CHECK(Get32(data + kDosFieldOffset) == start || Get32(data + size - 4) == start, "located elsewhere");
  FUZZ_CHECK(start + kHeaderSize <= size && stream % kBlockSize == 0 && start + kHeaderSize + stream <= size,
             "stream of " + std::to_string(stream) + " at " + std::to_string(start) + " in " + std::to_string(size));

  uint8_t header[kHeaderSize];
  FUZZ_CHECK(MvsReadHeader(file, header), "header read");
  FUZZ_CHECK(std::memcmp(header, data + start, kHeaderSize) == 0 && HasMagic(header), "header bytes");

  const std::vector<uint8_t> expected = ExpectedStream(data, start + kHeaderSize, stream, Get32(header + 12));
  // The header read positions the stream at 0: one pass in uneven pieces
  // crosses blocks and windows.
  uint64_t at = 0;
  const uint32_t pieces[] = {1, 15, 16, 17, 4093, 65536, 70001};
  for (size_t i = 0; at <= stream; ++i) {
    const uint32_t length = pieces[i % (sizeof pieces / sizeof pieces[0])];
    std::vector<uint8_t> got(length);
    const int64_t n = MvsRead(file, got.data(), length);
    const uint64_t want = std::min<uint64_t>(length, stream - at);
    FUZZ_CHECK(n == static_cast<int64_t>(want), "sequential read at " + std::to_string(at));
    FUZZ_CHECK(want == 0 || std::memcmp(got.data(), expected.data() + at, want) == 0,
               "sequential bytes at " + std::to_string(at));
    if (n == 0) break;
    at += static_cast<uint64_t>(n);
  }
  // Backwards and at the edges, each read after a seek.
  if (stream > 0) {
    CheckRead(file, expected, stream - 1, 2);
    CheckRead(file, expected, stream / 2, 33);
    CheckRead(file, expected, 0, 16);
  }
  CheckRead(file, expected, stream, 1);
  CheckRead(file, expected, ~uint64_t{0} - 8, 16);
  return 0;
}
