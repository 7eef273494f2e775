// Comparing an entry name's part with a fixed ASCII name, ignoring case, as
// the folder-tag table does. Portable header; the comparison is the
// platform's:
//   Windows  CompareStringOrdinal, ignoring case (the system's uppercase
//            table), through EqualOrdinalIgnoreCase; ASCII letters only on
//            Windows XP, which lacks the function.
//   POSIX    ASCII letters only, as on Windows XP (the packer's machine, the
//            native tests and fuzzing).
#pragma once

#include <string>

namespace qrn {

// Whether `text` (all of it, embedded NULs included) equals the
// NUL-terminated `name`, ignoring case.
bool EqualNameIgnoreCase(const std::wstring& text, const wchar_t* name);

}  // namespace qrn
