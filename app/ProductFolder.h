// The rule that every install folder ends in the product folder "Quorrin".
// Portable: no windows.h.
#pragma once

#include <cstddef>

namespace qrn {

// Appends "\" and `folderName` (the product folder, kProductFolderName of
// base/Product.h: "Quorrin") to the NUL-terminated wide path in `path` (a
// buffer of `capacity` characters, terminator included) unless its last
// component is already that name (case-sensitive):
//   abc          -> abc\Quorrin        (no backslash)
//   D:\          -> D:\Quorrin         (ends with a backslash)
//   D:\Quorrin   -> D:\Quorrin         (unchanged)
//   D:\Programs  -> D:\Programs\Quorrin
// Returns false, leaving the buffer unchanged, when the result would not fit:
// the caller refuses such a path rather than cutting it.
bool AppendProductFolder(wchar_t* path, size_t capacity, const wchar_t* folderName);

}  // namespace qrn
