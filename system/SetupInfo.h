// Facts the installer asks of the machine: special folders, Windows version
// and word size, earlier installations, free disk space; the switch of the
// file-system redirection of a 32-bit process on 64-bit Windows; writing a
// resource out to a file; string conversions.
//
// Every failure is logged as an error line naming the failed call and the
// thread's last-error code, and yields the neutral result: an empty string,
// false or 0. Nothing here is shown to the user.
//
// Threads: the folder, WOW64 and version caches take no lock. The program
// fills each of them from one thread before another can ask (IsWow64 and
// GetDefaultInstallDir on the window's thread before the install thread
// starts; the others only on the install thread).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/Product.h"

namespace qrn {

// ---- Folders ---------------------------------------------------------------

// The common application-data folder followed by "\Quorrin" (created on
// demand by the shell). Not cached. Empty when the folder query fails.
std::wstring GetAppDataDir();

// "<Program Files>\Quorrin". Cached once known; empty (and not cached) when
// the folder query fails.
std::wstring GetDefaultInstallDir();

// The 32-bit system folder (CSIDL_SYSTEMX86): SysWOW64 on 64-bit Windows,
// System32 on 32-bit Windows. Cached once known; empty on failure.
std::wstring GetSystemX86Dir();

// "<system folder>\drivers" (CSIDL_SYSTEM). A 32-bit process reaches the
// native drivers folder through it only while its redirection is off.
// Cached once known; empty on failure.
std::wstring GetDriversDir();

// ---- Earlier installations ---------------------------------------------------

// "UninstallString" of this product's uninstall entry, read in the 32-bit
// registry view. Empty when the entry or the value is missing (logged).
std::wstring GetUninstallString();

// The same value of the earlier product's (Tolvek's) uninstall entry.
std::wstring GetEarlierUninstallString();

// ---- Machine -------------------------------------------------------------------

// Whether this 32-bit process runs on 64-bit Windows (IsWow64Process).
// Cached after the first call, also when the answer is false because the
// entry point is missing (logged once).
BOOL IsWow64();

// Test seam: 1 makes IsWow64 answer TRUE, 0 FALSE, -1 restores the real
// (cached) answer. Wine on the build machines runs only 64-bit programs, for
// which IsWow64Process is FALSE even on 64-bit Windows; the tests stand a
// 64-bit process in for the 32-bit installer with this.
void SetIsWow64ForTesting(int answer);

// Windows versions as the installer names them (11 Vista, 13 Windows 7,
// 19 Windows 10 workstation; 0 not recognised).
using OsVersionCode = int;

// Classifies an extended version record (platform id, major, minor, product
// type: 1 workstation, 2 domain controller, 3 server).
OsVersionCode ClassifyOsVersion(DWORD platformId, DWORD major, DWORD minor, BYTE productType);

// The running system's code, cached after the first successful query; 0
// (not cached) when GetVersionExW fails.
OsVersionCode GetOSVersionCode();

// Free bytes of the volume of `path`'s first two characters (the drive, as
// in "C:"), as "%.2fGB" above 1 GiB and "%.0fMB" otherwise. Stores the
// count in `*freeBytes` when given. Empty (and `*freeBytes` untouched) when
// the query fails.
std::wstring GetDiskFreeText(const std::wstring& path, uint64_t* freeBytes = nullptr);

// The text for a byte count, as GetDiskFreeText makes it.
std::wstring FormatDiskFreeText(uint64_t freeBytes);

// ---- File-system redirection ----------------------------------------------------
// Redirection is a property of the calling thread. Order: LoadSys64Fun on
// any thread; DisableWow64Redirection and EnableWow64Redirection on the
// install thread; FreeSys64Fun last.

// Loads kernel32 and looks up the two redirection entry points. False (and
// logged) when either is missing.
bool LoadSys64Fun();

// Releases the library reference taken by LoadSys64Fun.
void FreeSys64Fun();

// Switches redirection off for the calling thread; `*oldValue` receives what
// EnableWow64Redirection needs to switch it back. False (and logged) on
// failure, also when LoadSys64Fun has not succeeded.
bool DisableWow64Redirection(PVOID* oldValue);

// Switches redirection back on with the value DisableWow64Redirection gave.
// A null value (redirection never switched off) succeeds without a call.
bool EnableWow64Redirection(PVOID oldValue);

// Loads a system DLL by name with this thread's redirection switched back
// on for the load, when the thread has switched it off: with redirection
// off a 32-bit process would look in the native 64-bit system folder and
// fail. nullptr, without loading anything, when the thread's redirection is
// on (the caller then loads the DLL itself).
HMODULE LoadLibraryRedirected(const char* dll);

// ---- Resources and strings ---------------------------------------------------------

// Writes the resource `id` of type `type` of this executable to `path`,
// replacing any file there. False (and logged) at the first failing step.
bool CreateFileFromResource(const std::wstring& path, int id, LPCWSTR type);

// ANSI (CP_ACP) text to a wide string; the terminator is part of the
// conversion, so the result ends at the first NUL.
std::wstring MultiByteToCString(const char* ansi);

// Wide text to a newly allocated, NUL-terminated ANSI (CP_ACP) copy owned by
// the caller. Characters without an ANSI form become the system's default
// replacement character.
std::unique_ptr<char[]> CStringToMultiByte(const std::wstring& text);

}  // namespace qrn
