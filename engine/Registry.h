// The installer's registry writes: three file types and the uninstall entry.
//
// Keys are opened with KEY_WOW64_32KEY: the installer is a 32-bit program,
// whose own view that is, so a 64-bit build of the same code (the one the
// tests run) writes exactly where the real installer does.
#pragma once

#include <windows.h>

#include <string>

#include "engine/InstallSettings.h"

namespace qrn {

// RegCreateKeyExW with KEY_ALL_ACCESS; an existing key is opened.
bool CreateRegKey(HKEY root, const std::wstring& subKey, HKEY* key);
// REG_SZ: the text and its terminating NUL.
bool SetRegValue(HKEY key, const std::wstring& name, const std::wstring& data);
// REG_DWORD.
bool SetRegValue(HKEY key, const std::wstring& name, DWORD data);

// Writes the file types (their failures are logged and never change the
// result) and the uninstall entry with the per-user marker. True only when
// the whole uninstall chain was written.
bool SetRegSetup(const std::wstring& installFolder);

// The install stage: SetRegSetup over the install folder; a false result is
// logged. Always true: nothing in the registry stops the installation.
bool SetReg(InstallSettings& settings);

// Tests only: makes SetRegValue fail with ERROR_ACCESS_DENIED for the value
// of this name (null: none). Wine cannot make one write of a chain fail.
void FailRegValueForTesting(const wchar_t* valueName);

}  // namespace qrn
