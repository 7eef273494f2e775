// Named events, processes by name and uninstallers: what the removal of
// earlier versions uses to make other programs quit and go away.
#pragma once

#include <string>

namespace qrn {

// Opens "Local\<name>" (EVENT_MODIFY_STATE) and sets it. False when the
// event cannot be opened; it is never created.
bool SignalNamedEvent(const std::wstring& name);

// Whether "Local\<name>" exists: opened, or refused with ERROR_ACCESS_DENIED
// (it exists in another security context).
bool NamedEventExists(const std::wstring& name);

// Terminates the first process in the snapshot whose executable name
// matches (case-insensitive); later ones of the same name keep running.
// False when none matches or the snapshot cannot be walked. Logs nothing.
bool TerminateProcessByName(const std::wstring& executable);

// Runs `uninstaller` with " -S" and waits for it without a time-out. True
// when the file does not exist (nothing left to remove) or the process ran
// and ended; false only when it cannot be started.
bool WaitForUnist(const std::wstring& uninstaller);

}  // namespace qrn
