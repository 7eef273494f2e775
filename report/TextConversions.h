// The seam through which the report codec converts between the process's
// ANSI code page and UTF-8. Portable: the Windows conversions (AnsiUtf8.h)
// come in from outside, so the codec also builds and is tested natively.
#pragma once

#include <string>

namespace qrn {

struct TextConversions {
  // Both convert their input up to its first NUL.
  std::string (*ansiToUtf8)(const std::string& ansi);
  std::string (*utf8ToAnsi)(const std::string& utf8);
};

}  // namespace qrn
