// The install thread: every machine-changing step of the installation, in a
// fixed order, on one worker thread that the window starts and then only
// watches through the settings' progress target, failure flag and status
// line.
#pragma once

#include <windows.h>

#include "engine/InstallSettings.h"

namespace qrn {

// Thread entry for _beginthreadex; `param` is the InstallSettings the window
// owns. Sets installFailed from the sequence's result and returns it (1/0).
unsigned __stdcall ThreadExtract(void* param);

// The stages in order. Only four outcomes fail it: redirection cannot be
// switched off or back on, this product's old uninstaller cannot be started,
// or the extraction pass fails. Everything else is logged and the
// installation goes on; nothing is rolled back.
BOOL RunInstallSequence(InstallSettings& settings);

// Starts "<installFolder>\QRNService.exe -init" through the shell, without
// waiting for it.
void RunServiceInit(InstallSettings& settings);

}  // namespace qrn
