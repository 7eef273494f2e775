#include "uninstaller/RecordLines.h"

#include <cstring>

namespace qrn {

RecordLines SplitRecordLines(const std::string& bytes) {
  RecordLines result;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    if (end == std::string::npos) {
      result.unterminatedTail = true;
      break;
    }
    const size_t length = end - start;
    if (length == 0) {
      ++result.emptyLines;
    } else if (length > kMaxRecordLineBytes) {
      ++result.overlongLines;
    } else if (std::memchr(bytes.data() + start, '\0', length) != nullptr) {
      ++result.nulLines;
    } else {
      result.lines.push_back(bytes.substr(start, length));
    }
    start = end + 1;
  }
  return result;
}

}  // namespace qrn
