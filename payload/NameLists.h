// The fixed lists of file names the extraction pass treats specially. Each
// compares a base name (the text after the destination's last backslash)
// and ignores case.
#pragma once

#include <windows.h>

#include <string>

namespace qrn {

// Runtime libraries: extracted but not put in the install record, so the
// uninstaller leaves them for other programs.
BOOL IsRuntimeDll(const std::wstring& baseName);

// The user's own data: never written, so an existing file keeps its content
// and none is created when there is none.
BOOL IsUserDataFile(const std::wstring& baseName);

// Never written: the user data files and the two install records.
BOOL IsSkippedFile(const std::wstring& baseName);

}  // namespace qrn
