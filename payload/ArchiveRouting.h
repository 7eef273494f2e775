// Where an archive entry goes: the folder-tag table.
//
// An entry name is "<tag>\<second>\<rest...>". The tag excludes entries of
// the other word size ("32", "en32", "ch32" on 64-bit Windows; "64", "en64",
// "ch64" on 32-bit Windows); "sys" routes "<sys>\64\..." (64-bit Windows) or
// "<sys>\32\..." (32-bit Windows) to the drivers folder; any other tag
// routes "...\Program\..." to the install folder and "...\System32\..." to
// the 32-bit system folder. Comparisons ignore case. The rest, from the
// backslash that ends the second component, is appended to the folder.
//
// The rest must stay inside its folder: every component of it must be a
// plain file or folder name (not empty, not "." or "..", no drive, colon,
// slash, wildcard or control character, no device name such as "NUL" or
// "COM1", nor "COM" or "LPT" with a superscript 1, 2 or 3).
//
// Portable: no windows.h. Names are UTF-16 code units, one per wchar_t.
// MapArchivePath.h applies the table to the machine's own folders.
#pragma once

#include <string>

namespace qrn {

struct RouteFolders {
  bool wow64 = false;          // Windows is 64-bit
  std::wstring installFolder;  // no trailing backslash
  std::wstring systemX86Dir;   // GetSystemX86Dir
  std::wstring driversDir;     // GetDriversDir
};

enum class RouteResult {
  kRouted,    // *destination holds the path
  kExcluded,  // not for this system, or not a routed folder: skip quietly
  kUnsafe,    // the rest would leave its folder or is no valid name
  kNoFolder,  // the destination folder is unknown (empty)
};

enum class RouteFolder { kInstall, kSystemX86, kDrivers };

// The table alone: which folder an entry goes to, and the rest appended to
// it (beginning with a backslash). kRouted or kExcluded or kUnsafe; the
// folder itself is not looked at, so a caller asks only for the folders
// that entries go to.
RouteResult ClassifyArchiveName(const std::wstring& name, bool wow64, RouteFolder* folder, std::wstring* rest);

// The destination of a routed entry: `rest` appended to `folder`, or
// kNoFolder when the folder is unknown (empty).
RouteResult JoinRoute(const std::wstring& folder, const std::wstring& rest, std::wstring* destination);

// The table over given folders: no system calls.
RouteResult RouteArchiveName(const std::wstring& name, const RouteFolders& folders, std::wstring* destination);

// Whether `component` is a plain name that stays where it is put.
bool IsSafePathComponent(const std::wstring& component);

}  // namespace qrn
