// INTERIM, until the engine's ThreadExtract is on main: the installer's
// install-thread entry. It cannot install anything, so it says so in the log
// and reports a failed installation; the window then shows its failure box.
#pragma once

namespace qrn {

// `settings`: the InstallSettings of the window.
unsigned __stdcall PendingInstallThread(void* settings);

}  // namespace qrn
