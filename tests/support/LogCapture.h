// Windows tests that check log lines: opens the real daily log in a scratch
// folder for the test's lifetime and reads back what was written.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "log/LogModule.h"
#include "tests/support/TempDir.h"

namespace qrn::test {

class LogCapture {
 public:
  LogCapture() { LogInit("Test", folder_.path().string().c_str()); }
  ~LogCapture() { LogUninit(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything logged so far (all of today's files in the folder).
  std::string Text() const {
    std::string text;
    for (const auto& file : std::filesystem::directory_iterator(folder_.path())) {
      std::ifstream in(file.path(), std::ios::binary);
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text;
  }
  bool Contains(const std::string& part) const { return Text().find(part) != std::string::npos; }

 private:
  TempDir folder_;
};

}  // namespace qrn::test
