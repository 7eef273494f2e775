// Request encoding and answer decoding of the report protocol. Portable.
//
// Request path, for action A, parameters P and the 32-byte secret S:
//   query       = k1=v1&k2=v2...            (P in key order, nothing escaped)
//   signature   = hex SHA-512 of UTF-8(query + "&secretkey=" + S)
//   signed      = query + "&signature=" + signature      (S itself is not sent)
//   plaintext   = UTF-8(signed) + n bytes of value n, n = 16 - len % 16 (1..16)
//   path        = A + "/" + Base64(AES-256-ECB under S of plaintext)
// Answer: Base64 text of AES-256-ECB ciphertext of UTF-8 text plus padding
// whose last byte counts the pad bytes.
//
// Both directions go through one 2,048-byte cipher buffer: a padded request
// of at most 2,032 bytes (the cipher also writes a 16-byte marker block) and
// an answer of at most 2,048 decoded bytes.
#pragma once

#include <cstddef>
#include <string>

#include "report/ReportParams.h"
#include "report/TextConversions.h"

namespace qrn {

constexpr size_t kCipherBufferSize = 2048;
constexpr size_t kMaxRequestPlaintext = kCipherBufferSize - 16;
constexpr size_t kReportSecretLength = 32;  // the secret's bytes are the AES-256 key

enum class RequestEncoding {
  kOk,
  kSecretNotAKey,   // the secret is not 32 bytes long
  kRequestTooLong,  // the padded request is over kMaxRequestPlaintext bytes
};

// "k1=v1&k2=v2...", in map order, no leading "&".
std::string BuildQuery(const ReportParams& params);

// query + "&signature=" + Sha512Hex(UTF-8(query + "&secretkey=" + secret)).
std::string BuildSignedQuery(const ReportParams& params, const std::string& secret, const TextConversions& text);

// The request path "<action>/<Base64>" (no leading slash, not URL-escaped).
// `path` is left empty unless the result is kOk.
RequestEncoding EncodeRequestPath(const std::string& action, const ReportParams& params, const std::string& secret,
                                  const TextConversions& text, std::string* path);

// The answer text of a status-200 body, converted to ANSI; empty when the
// body is empty or undecodable: its Base64 text decodes to no bytes, to more
// than kCipherBufferSize bytes or to a length that is no multiple of 16, or
// the last deciphered byte is no pad count between 1 and that length.
std::string DecodeResponse(const std::string& body, const std::string& secret, const TextConversions& text);

}  // namespace qrn
