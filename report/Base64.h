// Base64 with the standard alphabet (RFC 4648, section 4). Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrn {

// True for the ASCII letters and digits, '+' and '/'.
bool IsBase64Char(char c);

// "=" padding to a multiple of four characters, no line breaks.
std::string Base64Encode(const uint8_t* data, size_t count);

// Number of leading characters of `text` that Base64Decode uses: it stops at
// the first "=" or the first character outside the alphabet.
size_t Base64Span(const std::string& text);

// Bytes Base64Decode gives for a span of `chars` characters: three per whole
// group of four; a final group of two or three characters gives one or two
// bytes, a single character none.
size_t Base64DecodedSize(size_t chars);

// Decodes the leading span (see Base64Span); everything from the first stop
// character on is ignored.
std::vector<uint8_t> Base64Decode(const std::string& text);

}  // namespace qrn
