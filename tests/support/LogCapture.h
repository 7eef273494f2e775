// Windows tests: the daily log opened in a scratch folder for one test, and
// its text read back.
#pragma once

#include <string>

#include "tests/support/TempDir.h"

namespace qrn::test {

class LogCapture {
 public:
  LogCapture();   // LogInit("Install", <scratch folder>)
  ~LogCapture();  // LogUninit
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything logged so far (all files of the folder, in name order).
  std::string Text() const;
  bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

 private:
  TempDir dir_;
};

}  // namespace qrn::test
