#include "report/RequestCodec.h"

#include <cstdint>
#include <cstring>

#include "crypto/Sha512.h"
#include "report/AesCipher.h"
#include "report/Base64.h"

namespace qrn {
namespace {

bool KeyCipher(const std::string& secret, CAesCipher* cipher) {
  if (secret.size() != kReportSecretLength) return false;
  return cipher->SetKey(kReportSecretLength, reinterpret_cast<const uint8_t*>(secret.data()));
}

}  // namespace

std::string BuildQuery(const ReportParams& params) {
  std::string query;
  for (const auto& [key, value] : params) {
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += value;
  }
  return query;
}

std::string BuildSignedQuery(const ReportParams& params, const std::string& secret, const TextConversions& text) {
  const std::string query = BuildQuery(params);
  const std::string toSign = text.ansiToUtf8(query + "&secretkey=" + secret);
  return query + "&signature=" + Sha512Hex(toSign);
}

RequestEncoding EncodeRequestPath(const std::string& action, const ReportParams& params, const std::string& secret,
                                  const TextConversions& text, std::string* path) {
  path->clear();
  CAesCipher cipher;
  if (!KeyCipher(secret, &cipher)) return RequestEncoding::kSecretNotAKey;

  // PKCS#7: 1 to 16 bytes, each holding the count; a whole block when the
  // text already ends on a block boundary. The pad bytes are ASCII control
  // characters, which every ANSI code page keeps as they are, so padding the
  // converted text equals converting the padded one.
  std::string plaintext = text.ansiToUtf8(BuildSignedQuery(params, secret, text));
  const size_t pad = 16 - plaintext.size() % 16;
  plaintext.append(pad, static_cast<char>(pad));
  if (plaintext.size() > kMaxRequestPlaintext) return RequestEncoding::kRequestTooLong;

  uint8_t buffer[kCipherBufferSize];
  const size_t written =
      cipher.EncryptBlocks(reinterpret_cast<const uint8_t*>(plaintext.data()), plaintext.size(), buffer, sizeof buffer);
  if (written != plaintext.size() + 16) return RequestEncoding::kRequestTooLong;
  // The marker block stays behind: the padding already says where the text ends.
  *path = action + "/" + Base64Encode(buffer, plaintext.size());
  return RequestEncoding::kOk;
}

std::string DecodeResponse(const std::string& body, const std::string& secret, const TextConversions& text) {
  // Measure before decoding, so a huge body is refused without copying it.
  const size_t length = Base64DecodedSize(Base64Span(body));
  if (length == 0 || length > kCipherBufferSize || length % 16 != 0) return std::string();
  CAesCipher cipher;
  if (!KeyCipher(secret, &cipher)) return std::string();

  const std::vector<uint8_t> bytes = Base64Decode(body);
  uint8_t buffer[kCipherBufferSize];
  // The marker count is of no use here: answers carry PKCS#7 padding only.
  cipher.DecryptBlocks(bytes.data(), bytes.size(), buffer, sizeof buffer);
  const int pad = static_cast<int8_t>(buffer[length - 1]);
  if (pad < 1 || static_cast<size_t>(pad) > length) return std::string();
  const size_t kept = length - static_cast<size_t>(pad);
  const void* nul = std::memchr(buffer, 0, kept);
  const size_t textLength = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - buffer) : kept;
  return text.utf8ToAnsi(std::string(reinterpret_cast<const char*>(buffer), textLength));
}

}  // namespace qrn
