// INTERIM, until system/SetupInfo (system facts) and system/MakePath (folder
// creation) are on main: the few of their operations the window calls, with
// the same names and results. Replace the include of this file by the
// system room's headers and delete it with SetupInfo.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qrn {

// "Quorrin" under the common application-data folder.
std::wstring GetAppDataDir();
// "Quorrin" under Program Files.
std::wstring GetDefaultInstallDir();
// "UninstallString" of this product's uninstall entry (32-bit view); empty when none.
std::wstring GetUninstallString();
// The same of the maker's earlier product.
std::wstring GetEarlierUninstallString();
// A 32-bit process on 64-bit Windows.
BOOL IsWow64();
// Loads the WOW64 redirection entry points.
bool LoadSys64Fun();
// Free space of the drive named by the first two characters of `path`:
// "%.2fGB" above 1 GiB, else "%.0fMB"; empty when it cannot be measured
// (then *freeBytes is untouched).
std::wstring GetDiskFreeText(const std::wstring& path, uint64_t* freeBytes);
// Writes resource `id` of `type` of the executable to `path`.
bool CreateFileFromResource(const std::wstring& path, UINT id, LPCWSTR type);
// Creates `path` with all its missing parents.
BOOL MakePath(const std::wstring& path);

}  // namespace qrn
