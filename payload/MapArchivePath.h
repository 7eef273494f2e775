// The folder-tag table (ArchiveRouting.h) over this machine's folders.
// Windows.
#pragma once

#include <windows.h>

#include <string>

namespace qrn {

// The table over this machine's folders (IsWow64, GetSystemX86Dir,
// GetDriversDir) and `installFolder`. FALSE for an entry that is not
// written; unsafe names and unknown folders are logged.
BOOL MapArchivePath(const std::wstring& installFolder, const std::wstring& name, std::wstring* destination);

}  // namespace qrn
