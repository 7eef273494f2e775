// Unregistering the product's shell-extension libraries with regsvr32.
#pragma once

#include <string>

namespace qrn {

// The libraries the installer registers: both word sizes' names.
inline constexpr const wchar_t* kShellExtensionDlls[] = {L"QRNShellExt.dll", L"QRNShellExt-x64.dll", L"QRNDragDrop.dll",
                                                         L"QRNDragDrop-x64.dll"};

// How long one regsvr32 run may take before it is given up on (and ended).
inline constexpr unsigned kRegsvr32WaitMs = 30000;

// Runs "<system folder>\regsvr32.exe" -u -s "<installFolder>\<dll>" for
// each library of kShellExtensionDlls present in the install folder, and
// waits for it (bounded), so that the library is no longer registered, and
// can be deleted, before the files go. Every name is tried because the
// installer chose by the Windows word size, and a library of the other
// word size is simply not there. True when every run ended with exit code 0.
bool UnregisterShellExtensions(const std::wstring& installFolder);

// The command line for one library.
std::wstring UnregisterDllCommandLine(const std::wstring& dllPath);

}  // namespace qrn
