// The uninstaller's sequence: undoes what the installer did, working from
// the install record InstallInfo.db beside the uninstaller.
//
//   single-instance lock, confirmation (not with -S), log
//   read the record, plan what goes (RemovalPlan.h)
//   protection service and driver services stopped and deleted (a driver
//   that does not stop stays registered, its file with it)
//   the product's running programs ended
//   shell extensions unregistered
//   recorded files deleted (user data kept), emptied folders removed
//   file types, uninstall entry and per-user marker removed
//   shortcuts and Start-menu folders removed; the shell told
//   the record, the uninstaller's own file and the empty install folder removed
//
// The data folder (the user's data and all logs) is kept. Nothing is rolled
// back; every step runs whatever the one before it achieved, and what could
// not be removed is logged and reflected in the exit code.
#pragma once

#include <string>

namespace qrn {

// Exit codes of Uninstall.exe.
enum UninstallExitCode : int {
  kUninstallDone = 0,        // everything removed (what was already gone counts as removed)
  kUninstallRefused = 1,     // another setup or uninstaller runs, or the user said no: nothing changed
  kUninstallIncomplete = 2,  // something could not be removed, or the record was damaged (logged)
};

inline constexpr wchar_t kInstallMutexName[] = L"_QRN_INSTALL_UNINSTALL_";
inline constexpr wchar_t kUninstallerName[] = L"Uninstall.exe";

// The whole run for `commandLine` (GetCommandLineW). Message boxes only
// without "-S".
int RunUninstaller(const std::wstring& commandLine);

}  // namespace qrn
