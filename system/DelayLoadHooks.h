// Hooks of the delay-load helper, which loads the system DLLs of
// qrn_system_dlls at their first call (cmake/QrnTargets.cmake).
#pragma once

namespace qrn {

// A DLL first needed while the calling thread has file-system redirection
// switched off is loaded with redirection on for that moment (see
// LoadLibraryRedirected), wherever that first call happens; a DLL or
// function that cannot be had is logged with its name before the helper
// raises its exception. Call once, at start-up, before the install thread
// runs.
void InstallDelayLoadHooks();

}  // namespace qrn
