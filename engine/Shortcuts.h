// The desktop and Start-menu shortcuts of the installed product.
//
//   Desktop\Quorrin软件版.lnk                        -> QRN.exe, icon QRN.ico
//   Programs\Quorrin软件版\启动Quorrin.lnk           -> QRN.exe, icon QRN.ico
//   Programs\Quorrin软件版\卸载Quorrin.lnk           -> Uninstall.exe
//   Programs\Quorrin软件版\加密助手\文件彻底粉碎.lnk -> SecureDel.exe
// Desktop and Programs are the current user's. Every target is in the
// install folder, which is also every shortcut's working folder.
#pragma once

#include <string>

#include "engine/InstallSettings.h"

namespace qrn {

// The stage: the Start-menu folders, the four shortcuts in the order above,
// then the shell is told that file associations changed. Failures are only
// logged; a failed shortcut does not stop the next. When the Desktop or the
// Programs folder cannot be found, the shortcuts that belong there are left
// out (an empty folder would put them at the root of the current drive).
void OverSetup(InstallSettings& settings);

// Writes "<folder>\<name>.lnk" pointing at installFolder + `target` (which
// begins with a backslash), with the icon "<installFolder>\<iconFile>" at
// index 0, or the target's own icon when `iconFile` is empty.
void CreateShortcut(const InstallSettings& settings, const std::wstring& name, const std::wstring& folder,
                    const std::wstring& target, const std::wstring& iconFile);

// Tests only: the folder query (SHGetSpecialFolderPathW) is replaced by this
// function (null: the real one). Wine always finds both folders.
using SpecialFolderFn = bool (*)(int csidl, std::wstring* folder);
void SetSpecialFolderForTesting(SpecialFolderFn query);

}  // namespace qrn
