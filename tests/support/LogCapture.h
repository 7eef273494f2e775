// Windows tests that check log lines: opens the real daily log in a scratch
// folder for the test's lifetime and reads back what was written.
#pragma once

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log/LogModule.h"
#include "tests/support/TempDir.h"

namespace qrn::test {

// Everything logged in `folder` (all of its files), and the messages of the
// lines, each after "$" with its level in front:
// "error:CreateService() failed, error code:1073". For the log of another
// process, too.
inline std::string LogTextIn(const std::filesystem::path& folder) {
  std::string text;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path(), std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return text;
}

inline std::vector<std::string> LogMessagesIn(const std::filesystem::path& folder) {
  std::vector<std::string> messages;
  const std::string text = LogTextIn(folder);
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const size_t dollar = line.find('$');
    messages.push_back(dollar == std::string::npos ? line : line.substr(dollar + 1));
    pos = end + 2;
  }
  return messages;
}

class LogCapture {
 public:
  LogCapture() { LogInit("Test", folder_.path().string().c_str()); }
  ~LogCapture() { LogUninit(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything logged so far (all of today's files in the folder).
  std::string Text() const { return LogTextIn(folder_.path()); }
  bool Contains(const std::string& part) const { return Text().find(part) != std::string::npos; }

  // The messages of the lines (LogMessagesIn).
  std::vector<std::string> Messages() const { return LogMessagesIn(folder_.path()); }
  // How many lines carry exactly this message ("level:text").
  int Count(const std::string& message) const {
    const std::vector<std::string> messages = Messages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
  }

 private:
  TempDir folder_;
};

}  // namespace qrn::test
