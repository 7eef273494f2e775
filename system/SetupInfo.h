// Facts the installer asks of the machine, and string conversions.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace qrn {

// ANSI (CP_ACP) text to a wide string; the terminator is part of the
// conversion, so the result ends at the first NUL.
std::wstring MultiByteToCString(const char* ansi);

// Wide text to a newly allocated, NUL-terminated ANSI (CP_ACP) copy owned by
// the caller. Characters without an ANSI form become the system's default
// replacement character.
std::unique_ptr<char[]> CStringToMultiByte(const std::wstring& text);

}  // namespace qrn
