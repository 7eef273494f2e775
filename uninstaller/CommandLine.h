// The uninstaller's command line: "Uninstall.exe [-S]".
#pragma once

#include <string>

namespace qrn {

// Whether the arguments (the program name, the first one, excluded) hold
// the silent switch "-S" in any letter case. The installer runs an earlier
// installation's uninstaller as "<path> -S", the path not quoted, so a
// path with blanks arrives as several words: every word is looked at.
bool HasSilentSwitch(const std::wstring& commandLine);

}  // namespace qrn
