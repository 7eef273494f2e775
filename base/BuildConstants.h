// Build constants of the installer window. The window's label and the start
// check both read kRequiredSpaceMB, so the two always agree. (The product's
// name, folder and version are in base/Product.h.)
#pragma once

namespace qrn {

// Megabytes (2^20 bytes) that the install folder's drive must have free.
inline constexpr int kRequiredSpaceMB = 55;

}  // namespace qrn
