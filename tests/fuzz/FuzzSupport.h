// Shared by the fuzz targets and the seed maker.
//
// The archive targets past locating (index, entry decoder) take a "plain
// setup": the 40-byte header followed by the deciphered data stream.
// PlainToSetup wraps it into a real setup file (a 64-byte stub whose DOS
// field points at the header, the stream enciphered when the header says
// AES-256, the trailer), which the targets then read through the real
// reader. Mutations thus land on deciphered bytes: a change to one byte of
// an index record changes that record, not a whole 16-byte block to noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"
#include "payload/MvsReader.h"

namespace qrn::fuzz {

constexpr uint32_t kStubSize = 64;

// The setup file of a plain setup. First pads `plain`'s stream with zeros
// to whole blocks, as the writer does, so that the reader's stream is
// exactly that stream.
std::vector<uint8_t> PlainToSetup(std::vector<uint8_t>* plain);

// A plain setup wrapped into its setup file and opened through the real
// reader, which reads from `setup`.
struct OpenedPlainSetup {
  std::vector<uint8_t> setup;
  UniqueMvsFile reader;
  archive::MvsHeader header{};
};

// Wraps `plain` (PlainToSetup, which pads it) and opens it, header read.
// False when the reader refuses the file.
bool OpenPlainSetup(std::vector<uint8_t>* plain, OpenedPlainSetup* opened);

// The plain setup of a setup file: its header and its whole deciphered
// stream, read through the reader. Empty when the reader refuses the file.
std::vector<uint8_t> SetupToPlain(const std::vector<uint8_t>& setup);

// UTF-16LE code units, one per wchar_t; an odd last byte is dropped.
std::wstring Utf16Units(const uint8_t* bytes, size_t size);

// A broken expectation: the input is a finding. Printed, then abort(), which
// libFuzzer reports as a crash and keeps the input.
[[noreturn]] void Fail(const char* file, int line, const std::string& what);

}  // namespace qrn::fuzz

#define FUZZ_CHECK(condition, what)                                                               \
  do {                                                                                            \
    if (!(condition)) ::qrn::fuzz::Fail(__FILE__, __LINE__, #condition ": " + std::string(what)); \
  } while (0)
