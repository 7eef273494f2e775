// The extraction pass: turning the payload appended to the installer's own
// file into installed files. Both routines run on the install thread, with
// file-system redirection off on 64-bit Windows, and report back only
// through the settings' progress target and status line.
//
// Before anything is written the archive is opened and its whole index,
// name pool and times table are checked (ArchiveIndex.h), and a compression
// method other than stored or zlib is refused: a damaged archive fails the
// routine with a log line and leaves the disk untouched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/InstallSettings.h"

namespace qrn {

// The name of the uninstaller entry, matched exactly (case-sensitive).
inline constexpr wchar_t kUninstallerEntry[] = L"main\\Program\\Uninstall.exe";

// Places every entry of the payload by its folder tag (ArchiveRouting.h),
// leaves the other word size's entries and the user's data alone, restores
// file times and attributes, and finally writes the install record
// (InstallInfo.h) into settings.installFolder.
// Sets settings.progressTarget before each entry and the status line before
// each file it writes. TRUE when every entry was processed; FALSE (logged)
// when the archive cannot be opened or is damaged, a folder cannot be made,
// or an entry's data cannot be read, unpacked or written (then files written
// so far stay, and no install record is written). A file that cannot be
// created (in use, read-only) is skipped and stays in the record; an entry
// whose name would leave its folder or whose destination is longer than
// MAX_PATH is skipped and logged.
BOOL ExtractArchiveSetup(InstallSettings& settings);
// The same, reading the payload from `archivePath` instead of this program's
// own file (benchmarks and tests).
BOOL ExtractArchiveSetup(InstallSettings& settings, const std::wstring& archivePath);

// Writes the payload's uninstaller (kUninstallerEntry) over the file
// settings.previousUninstallString. Sets settings.progressTarget while it
// scans. TRUE when the scan ended (written, or no such entry, or the file
// could not be created); FALSE (logged) when the archive cannot be opened or
// is damaged, or the entry's data cannot be read, unpacked or written.
BOOL ExtractUninstaller(InstallSettings& settings);
BOOL ExtractUninstaller(InstallSettings& settings, const std::wstring& archivePath);

// Progress target before entry i of n: (70 * i) / n + 10 in single
// precision, truncated toward zero (10 .. 79).
int32_t ExtractionProgress(uint32_t i, uint32_t n);

}  // namespace qrn
