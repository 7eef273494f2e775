// Creating a folder together with every missing folder above it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qrn {

// Creates `path` and its missing parents, outermost first. TRUE when the
// folder exists afterwards. One trailing backslash is ignored; a drive
// ("C:" or "C:\") is only checked, never created; a name without a parent
// (such as "abc") gives FALSE. A failed creation is logged
// ("CreateDirectory() failed, error code:%d"); folders made before it stay.
// A file standing where a folder is wanted counts as a failed creation.
// `made`, when given, receives the folders this call created, outermost
// first.
BOOL MakePath(std::wstring path, std::vector<std::wstring>* made = nullptr);

}  // namespace qrn
