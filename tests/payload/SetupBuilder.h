// Builds small setup files for the extraction tests: a stand-in image with
// an archive appended by the real writer, written to a scratch file.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveWriter.h"
#include "tests/support/TempDir.h"

namespace qrn::test {

struct SetupEntry {
  std::string name;  // code page 936 bytes, as the packer stores them
  std::vector<uint8_t> data;
  uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE;
  archive::MvsFileTimes times{};
  bool folder = false;
};

// Code page 936 bytes of a wide name.
inline std::string Gbk(const std::wstring& text) {
  const int n = WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The stand-in installer image in front of the archive; its size is where
// the archive starts.
constexpr uint32_t kStubSize = 4096;

// Writes the setup to `path`; false (with a test failure) when the writer
// refuses the entries.
inline bool WriteSetup(const std::filesystem::path& path, const std::vector<SetupEntry>& entries,
                       const archive::ArchiveOptions& options = {}) {
  archive::MemorySink sink;
  std::vector<uint8_t> stub(kStubSize, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  sink.Write(stub.data(), stub.size());
  archive::ArchiveWriter writer(sink, kStubSize, options);
  for (const SetupEntry& e : entries) {
    const bool ok = e.folder ? writer.AddFolder(e.name, e.attributes | archive::kAttributeDirectory, e.times)
                             : writer.AddFile(e.name, e.data.data(), e.data.size(), e.attributes, e.times);
    EXPECT_TRUE(ok) << writer.error();
    if (!ok) return false;
  }
  EXPECT_TRUE(writer.Finish()) << writer.error();
  WriteBytes(path, sink.bytes());
  return true;
}

// File offset of logical stream byte `logical` in a setup written above.
inline uint64_t StreamFileOffset(uint64_t logical) { return kStubSize + archive::kHeaderSize + logical; }

}  // namespace qrn::test
