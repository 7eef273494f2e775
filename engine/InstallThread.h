// The install thread: every machine-changing step of the installation, in a
// fixed order, on one worker thread that the window starts and then only
// watches through the settings' progress target, failure flag and status
// line.
#pragma once

#include <windows.h>

#include "engine/InstallSettings.h"

namespace qrn {

// Thread entry for _beginthreadex; `param` is the InstallSettings the window
// owns. RunInstallThread with RunInstallSequence.
unsigned __stdcall ThreadExtract(void* param);

// The install thread's body around `sequence`: sets installFailed from the
// sequence's result and returns it (1/0). A system DLL or function that
// cannot be loaded on the way (system/DelayLoadHooks.h) fails the
// installation instead of ending the process: its line and "ThreadExtract()
// failed, return FALSE" are logged, installFailed is set, and the thread
// ends at once with exit code 0, leaving what it held to the process's end.
unsigned RunInstallThread(InstallSettings& settings, BOOL (*sequence)(InstallSettings&));

// The stages in order. Only four outcomes fail it: redirection cannot be
// switched off or back on, this product's old uninstaller cannot be started,
// or the extraction pass fails. Everything else is logged and the
// installation goes on; nothing is rolled back.
BOOL RunInstallSequence(InstallSettings& settings);

// Starts "<installFolder>\QRNService.exe -init" through the shell, without
// waiting for it.
void RunServiceInit(InstallSettings& settings);

}  // namespace qrn
