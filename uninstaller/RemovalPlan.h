// What the uninstaller removes, worked out from the install record before
// anything is touched.
//
// The record is a file on disk that anybody with write access to the
// install folder may have changed, and the uninstaller runs with
// administrator rights. So a recorded path is taken only when it is a plain
// absolute path ("X:\..." without "." or ".." parts, wildcards, streams or
// other separators) inside one of the three folders the installer writes
// to: the install folder, the 32-bit system folder and the drivers folder.
// Everything else is refused, counted and logged, never deleted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "uninstaller/RecordLines.h"

namespace qrn {

// The folders recorded files may lie in, without trailing backslashes.
struct RemovalRoots {
  std::wstring installFolder;    // the uninstaller's own folder
  std::wstring systemX86Folder;  // GetSystemX86Dir
  std::wstring driversFolder;    // GetDriversDir
};

struct RemovalPlan {
  // Files below the install folder, in record order. Their folders are
  // removed afterwards when left empty, up to (not including) the install
  // folder.
  std::vector<std::wstring> installFiles;
  // Files in the system or drivers folder: only the files go, never a folder.
  std::vector<std::wstring> systemFiles;
  // Recorded files deliberately left in place: the user's data files (the
  // installer never writes them, a newer installation keeps them) and the
  // runtime libraries other programs share; the uninstaller adds the file of
  // a driver it had to leave registered (ServiceRemoval.h).
  std::vector<std::wstring> kept;
  // Lines that were not taken: damaged, unsafe or outside the three folders.
  size_t refused = 0;
};

// Reads the whole record at `path` into `bytes`. False when it cannot be
// opened or read, or is larger than kMaxRecordBytes (logged).
bool ReadRecordFile(const std::wstring& path, std::string* bytes);

// A plain absolute path: drive letter, colon, backslash, then names
// separated by single or doubled backslashes; no "." or ".." name, no name
// ending in a dot or a blank (Windows would strip it and reach another
// name), no forward slash, colon, wildcard, control or reserved character,
// no trailing backslash.
bool IsPlainAbsolutePath(const std::wstring& path);

// Whether `path` lies below `folder` (not the folder itself), ignoring case.
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

// The long form of an existing path (GetLongPathNameW); the path unchanged
// when it does not exist or cannot be converted.
std::wstring LongPathForm(const std::wstring& path);

// Sorts the record's lines (ANSI, converted here) into the plan. The
// uninstaller's own file and the record itself are left out: they are the
// last things removed. An install folder that is a drive's root takes no
// files at all: "everything below" would be the whole drive. The roots must
// be in long form (LongPathForm); recorded paths are brought into it here.
RemovalPlan BuildRemovalPlan(const RecordLines& record, const RemovalRoots& roots, const std::wstring& selfPath);

}  // namespace qrn
