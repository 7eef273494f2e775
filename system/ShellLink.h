// Shortcut (.lnk) files through the shell's link object.
#pragma once

#include <string>

namespace qrn {

// Writes a shortcut at `linkPath` to `targetPath`, overwriting any file
// there. The working folder is the target's folder (everything before the
// last backslash; empty when the target has none); `iconPath` at index 0
// when not empty, otherwise the icon is left unset (the target's own). No
// arguments, description, hot key or show command.
//
// COM is initialised and uninitialised around the call on the calling
// thread (single-threaded apartment). True once the link object and its
// IPersistFile were obtained, even if setting a property or the save failed
// (each such failure is one error line in the log); false, with a line,
// when either could not be obtained.
bool CreateShellLink(const std::wstring& targetPath, const std::wstring& linkPath, const std::wstring& iconPath);

// The working folder CreateShellLink gives a target: the text before its last
// backslash, or empty.
std::wstring TargetFolder(const std::wstring& targetPath);

}  // namespace qrn
