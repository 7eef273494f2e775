// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qrn::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Makes the file `size` bytes long; what it gains reads as zeros and takes
// no disk space where the file system allows (a sparse end). On Windows
// through SetEndOfFile: the C runtime's truncate of a 32-bit program refuses
// sizes beyond the disk's free space.
void ExtendFile(const std::filesystem::path& path, uint64_t size);

// `n` pseudo-random bytes, the same for the same `stream` on every run.
std::vector<uint8_t> RandomBytes(size_t n, unsigned stream);

}  // namespace qrn::test
