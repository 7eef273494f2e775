// The uninstaller's split of its install record into lines. Every line
// kept is a whole line of the record, in order, at most 520 bytes, without
// line feed or NUL; every other line is counted once; an unfinished last
// line is never kept.
#include <cstring>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "uninstaller/RecordLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const RecordLines record = SplitRecordLines(bytes);

  size_t feeds = 0;
  for (const char c : bytes) feeds += c == '\n' ? 1 : 0;
  FUZZ_CHECK(record.lines.size() + record.emptyLines + record.overlongLines + record.nulLines == feeds,
             "every finished line counted once");
  FUZZ_CHECK(record.unterminatedTail == (size > 0 && bytes.back() != '\n'), "unfinished last line");
  size_t from = 0;
  for (const std::string& line : record.lines) {
    FUZZ_CHECK(!line.empty() && line.size() <= kMaxRecordLineBytes, "line of " + std::to_string(line.size()));
    FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\0') == std::string::npos, "line content");
    // A whole line: it starts where a line starts and ends at a line feed.
    size_t at = bytes.find(line + '\n', from);
    while (at != std::string::npos && at != 0 && bytes[at - 1] != '\n') at = bytes.find(line + '\n', at + 1);
    FUZZ_CHECK(at != std::string::npos, "kept line is no whole line after the one before");
    from = at + line.size() + 1;
  }
  return 0;
}
