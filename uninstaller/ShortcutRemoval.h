// Removing the product's shortcuts:
//   Desktop\Quorrin软件版.lnk
//   Programs\Quorrin软件版\启动Quorrin.lnk, 卸载Quorrin.lnk
//   Programs\Quorrin软件版\加密助手\文件彻底粉碎.lnk
// The installer puts them in the current user's folders; the all-users
// Desktop and Programs folders are cleaned of the same names too, where an
// administrator may have moved them. Only these link files go; the two
// Start-menu folders go when that leaves them empty.
#pragma once

namespace qrn {

// True when none of the shortcuts is left (missing ones count as removed).
bool RemoveShortcuts();

}  // namespace qrn
