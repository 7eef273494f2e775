// What the Windows report tests share: the test report server that
// with-report-server starts beside them, a port nobody listens on, and the
// daily log written to a scratch folder and read back.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace qrn::test {

using Row = std::map<std::string, std::string>;

// The server's control requests, over a plain socket (not the code under test).
class ReportServer {
 public:
  // QRN_REPORT_PORT; 0 when the test runs without its wrapper.
  static unsigned short Port();
  // Answers to report requests from now on: ok, trailing, 404, 500, empty,
  // garbage, huge, stall, silent.
  static bool SetMode(const std::string& mode);
  static std::vector<Row> Reports();
  static std::vector<Row> Rejects();
  static bool Reset();
};

// A loopback port that was free a moment ago and has no listener.
unsigned short DeadPort();

struct LogLine {
  std::string file;   // source file name, e.g. "Http2Server.cpp"
  std::string level;  // debug, warning, error
  std::string message;
};

// Opens the log in a scratch folder; Lines() closes it and reads it back.
class CapturedLog {
 public:
  CapturedLog();
  ~CapturedLog();
  std::vector<LogLine> Lines();

 private:
  TempDir dir_;
  bool open_ = false;
};

// Lines whose message matches `pattern` (ECMAScript, whole message).
std::vector<LogLine> Matching(const std::vector<LogLine>& lines, const std::string& level, const std::string& pattern);
std::string Describe(const std::vector<LogLine>& lines);

}  // namespace qrn::test
