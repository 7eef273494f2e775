// Conversions between the process's ANSI code page (CP_ACP) and UTF-8, always
// through UTF-16; each converts its input up to the first NUL. Windows.
#pragma once

#include <string>

#include "report/TextConversions.h"

namespace qrn {

std::string AnsiToUtf8(const std::string& ansi);
// Characters without an ANSI form become the code page's default character.
std::string Utf8ToAnsi(const std::string& utf8);

// The two above, for the report codec.
const TextConversions& AnsiUtf8Conversions();

}  // namespace qrn
