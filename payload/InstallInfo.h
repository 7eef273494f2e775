// The install record InstallInfo.db in the install folder: the list of
// installed files the product's uninstaller works from.
//
// One line per path, in order: the path in the ANSI code page, then one
// line feed (0x0A). No header, no carriage return, no byte-order mark, no
// terminating NUL.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qrn {

inline constexpr wchar_t kInstallInfoName[] = L"InstallInfo.db";

// Writes "<folder>\InstallInfo.db" anew; empty paths are left out. FALSE
// (and logged) when the file cannot be created or a write fails; the record
// then ends where the failed write began.
BOOL WriteInstallInfo(const std::wstring& folder, const std::vector<std::wstring>& paths);

}  // namespace qrn
