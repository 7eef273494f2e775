// Removing what the installer's registry stage wrote: the three file types,
// the uninstall entry and the per-user marker. Keys are reached in the
// 32-bit view (KEY_WOW64_32KEY), where the 32-bit installer wrote them; a
// no-op for the 32-bit uninstaller, and the 64-bit build reaches the same
// keys the installer's 64-bit build wrote.
#pragma once

#include <string>

namespace qrn {

// Deletes HKCR\qrn_safe_file, qrnFile and iqrnFile with everything below
// them, and HKCR\.safe, .qrn and .iqrn when their default value still names
// that type: an extension another program has taken over since (or one
// without a type) is left to it. True when nothing of ours is left (already
// missing counts as removed).
bool RemoveFileTypes();

// Deletes the uninstall entry HKLM\...\Uninstall\{product} when its
// "UninstallString" names `uninstallerPath` (ignoring case, in long form)
// or is missing:
// an entry that names another installation's uninstaller belongs to that
// installation. Also deletes the per-user marker HKCU\...\Uninstall\{product}.
// True when both are gone or were never there.
bool RemoveUninstallEntry(const std::wstring& uninstallerPath);

}  // namespace qrn
