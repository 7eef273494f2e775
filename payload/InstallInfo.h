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

// A record being built: the lines are converted as they are added and kept
// as the file's bytes, a third of what the wide paths would take.
class InstallRecord {
 public:
  // Adds the path's line; an empty path is left out.
  void Add(const std::wstring& path);
  // Writes "<folder>\InstallInfo.db" anew. FALSE (and logged) when the file
  // cannot be created, a write fails (the record then ends where that write
  // began) or a line could not be converted for lack of memory.
  BOOL Write(const std::wstring& folder) const;

 private:
  std::string bytes_;
  bool complete_ = true;
};

// Writes the record of `paths`, in order.
BOOL WriteInstallInfo(const std::wstring& folder, const std::vector<std::wstring>& paths);

}  // namespace qrn
