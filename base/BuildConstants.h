// Build constants of the installer: the product's version, the space it
// needs and the name of its folder. The window's label and the start check
// both read kRequiredSpaceMB, so the two always agree.
#pragma once

namespace qrn {

// ANSI text; shown in the window title.
inline constexpr char kVersionString[] = "6.1.0.3_20200220";
// Megabytes (2^20 bytes) that the install folder's drive must have free.
inline constexpr int kRequiredSpaceMB = 55;
// The folder every install path ends in.
inline constexpr wchar_t kProductFolderName[] = L"Quorrin";

}  // namespace qrn
