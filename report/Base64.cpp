#include "report/Base64.h"

namespace qrn {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint32_t Value(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
  return c == '+' ? 62u : 63u;
}

}  // namespace

bool IsBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

std::string Base64Encode(const uint8_t* data, size_t count) {
  std::string text;
  text.reserve((count + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += kAlphabet[(v >> 6) & 63];
    text += kAlphabet[v & 63];
  }
  const size_t rest = count - i;
  if (rest == 0) return text;
  const uint32_t v = (uint32_t{data[i]} << 16) | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0u);
  text += kAlphabet[(v >> 18) & 63];
  text += kAlphabet[(v >> 12) & 63];
  text += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
  text += '=';
  return text;
}

size_t Base64Span(const std::string& text) {
  size_t n = 0;
  while (n < text.size() && IsBase64Char(text[n])) ++n;
  return n;
}

size_t Base64DecodedSize(size_t chars) {
  const size_t rest = chars % 4;
  return chars / 4 * 3 + (rest >= 2 ? rest - 1 : 0);
}

std::vector<uint8_t> Base64Decode(const std::string& text) {
  const size_t span = Base64Span(text);
  std::vector<uint8_t> bytes;
  bytes.reserve(Base64DecodedSize(span));
  uint32_t bits = 0;
  int held = 0;
  for (size_t i = 0; i < span; ++i) {
    bits = (bits << 6) | Value(text[i]);
    held += 6;
    if (held >= 8) {
      held -= 8;
      bytes.push_back(static_cast<uint8_t>(bits >> held));
      bits &= (1u << held) - 1;
    }
  }
  return bytes;
}

}  // namespace qrn
