// The report server's answer: DecodeResponse over a status-200 body.
//
// Input: one byte of mode, then
//   even mode  the body as received: Base64 text of the enciphered answer;
//   odd mode   the deciphered answer (whole blocks are used, at most 2,064
//              bytes), enciphered and Base64-encoded here as the server
//              does, so that mutations reach what follows the cipher.
// In odd mode the text is known: the bytes before the padding that the
// last byte counts (1 to the length, the byte read as signed, so 0x80 and
// above count as none), up to the first NUL; anything else decodes to
// nothing. In either mode the text is at most 2,048 bytes.
#include <cstring>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "report/Base64.h"
#include "report/RequestCodec.h"
#include "tests/fuzz/FuzzSupport.h"

namespace qrn::fuzz {
namespace {

// The secret the installer is built with; its bytes are the AES-256 key.
const std::string kSecret = "5c0e7a21b9d84f36a1e3c7092b6d4f58";

// As the Windows conversions do for ASCII text: everything up to the first NUL.
std::string UpToNul(const std::string& text) { return std::string(text.c_str()); }
const TextConversions kText{UpToNul, UpToNul};

}  // namespace
}  // namespace qrn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  using namespace qrn::fuzz;
  if (size < 1) return 0;
  const bool plainMode = (data[0] & 1) != 0;
  std::string body;
  std::string expected;
  if (!plainMode) {
    body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    size_t length = size - 1;
    if (length > kCipherBufferSize + 16) length = kCipherBufferSize + 16;
    length -= length % 16;
    std::vector<uint8_t> blocks(data + 1, data + 1 + length);
    if (length > 0 && length <= kCipherBufferSize) {
      const int pad = static_cast<int8_t>(blocks[length - 1]);
      if (pad >= 1 && static_cast<size_t>(pad) <= length) {
        const std::string text(reinterpret_cast<const char*>(blocks.data()), length - static_cast<size_t>(pad));
        expected = text.c_str();
      }
    }
    Aes aes;
    aes.SetKey(reinterpret_cast<const uint8_t*>(kSecret.data()), kSecret.size());
    aes.EncryptBlocks(blocks.data(), length / 16);
    body = Base64Encode(blocks.data(), blocks.size());
  }
  const std::string text = DecodeResponse(body, kSecret, kText);
  FUZZ_CHECK(text.size() < kCipherBufferSize, "answer of " + std::to_string(text.size()) + " bytes");
  FUZZ_CHECK(text.find('\0') == std::string::npos, "answer holds a NUL");
  if (plainMode) FUZZ_CHECK(text == expected, "'" + text + "' instead of '" + expected + "'");
  return 0;
}
