// Registration of the product's two shell-extension libraries with the
// system's regsvr32, and the install report after it.
#pragma once

#include <string>

#include "engine/InstallSettings.h"

namespace qrn {

// The stage: RegDll over the install folder, then the install report
// (SendInstallInfo), whose failure is only logged.
void AfterSetup(InstallSettings& settings);

// Starts regsvr32 silently for the shell extension, then for the
// drag-and-drop handler, the DLLs of the Windows word size ("-x64" names on
// 64-bit Windows) in `installFolder`. Does not wait: whether a registration
// succeeded is never known here. A start that fails is one log line per DLL.
void RegDll(const std::wstring& installFolder);

// The command line for one DLL:
//   "<system folder>\regsvr32.exe" -s "<installFolder>\<dll>"
// regsvr32 is named by its full path: a bare "regsvr32" is looked up in the
// setup's own folder first, where a planted regsvr32.exe would run with the
// setup's administrator rights. On 64-bit Windows the 32-bit setup (with
// redirection on) reaches SysWOW64's regsvr32 through this path, which hands
// a 64-bit DLL on to the 64-bit regsvr32 itself.
std::wstring RegisterDllCommandLine(const std::wstring& installFolder, const std::wstring& dll);

// Tests only: the program RegDll runs instead of the system's regsvr32
// (null: the system's). Wine cannot make the system's regsvr32 unstartable,
// nor show the exact command line it was given.
void SetRegsvr32ForTesting(const wchar_t* program);

}  // namespace qrn
