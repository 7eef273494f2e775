#include "tests/support/LogCapture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "log/LogModule.h"

namespace qrn::test {
namespace fs = std::filesystem;

LogCapture::LogCapture() { LogInit("Install", dir_.path().string().c_str()); }

LogCapture::~LogCapture() { LogUninit(); }

std::string LogCapture::Text() const {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir_.path())) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::string text;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return text;
}

}  // namespace qrn::test
