// The device and user identity the install report carries, kept in the INI
// file install.db of the earlier product Tolvek:
//   <common application data>\TolvekApplication\install.db
//   [user_info]
//   deviceID={XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}   written here when missing
//   uid=...                                            written by other programs
// All strings are 8-bit ANSI. Windows.
#pragma once

#include <windows.h>

#include <string>

namespace qrn {

// The folder holding install.db, no trailing backslash; empty when the common
// application-data folder cannot be determined (logged).
std::string GetInstallDbFolder();

// The device identifier: cached for the process once known; otherwise read
// from install.db (at most 49 characters, taken as they are), or made with
// CoCreateGuid, written to install.db and cached even when the write fails.
// Empty only when none could be read or made.
std::string GetDeviceID();

// The user identifier from install.db (at most 49 characters), possibly
// empty; read on every call.
std::string GetUid();

// "{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}": Data3 in lower case,
// everything else in upper case.
std::string FormatDeviceGuid(const GUID& guid);

// Test seam: forgets the cached device identifier.
void ResetDeviceIdCacheForTesting();

}  // namespace qrn
