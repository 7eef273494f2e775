#include "app/OvastroApp.h"

#include <windows.h>
// windows.h first: commctrl.h needs its macros.
#include <commctrl.h>

#include "app/DllSearch.h"
#include "log/Log.h"
#include "system/DelayLoadHooks.h"
#include "system/MakePath.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// The installer exits 0 on every way of its own; a system DLL or function
// that cannot be loaded outside the install thread (which fails the
// installation instead) ends it with this code, after a log line.
constexpr unsigned kDelayLoadFailureExitCode = 1;

}  // namespace

BOOL COvastroApp::InitInstance() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExW(&version);
#pragma GCC diagnostic pop
  if (version.dwMajorVersion < 6) {
    ::MessageBoxW(nullptr, L"操作系统版本过低，必须是Windows 7.0及其以上的版本！", L"Quorrin", MB_ICONWARNING);
    return FALSE;
  }

  // Held, never closed, until the process ends; the uninstaller takes the same name.
  ::CreateMutexW(nullptr, TRUE, L"_QRN_INSTALL_UNINSTALL_");
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::MessageBoxW(nullptr, L"安装或卸载程序已经在运行！", L"Quorrin", MB_ICONWARNING);
    return FALSE;
  }

  // No data folder, no log: "\log" would be a folder in the root of the
  // current drive. The start-up goes on either way.
  const std::wstring dataFolder = GetAppDataDir();
  if (!dataFolder.empty()) {
    const std::wstring logFolder = dataFolder + L"\\log";
    MakePath(logFolder);
    LogInit("Install", CStringToMultiByte(logFolder).get());
  }

  InitCommonControlsAtRunTime(ICC_WIN95_CLASSES);

  COvastroDlg dialog(installThread_);
  dialog.DoModal();
  if (dialog.InstallThreadRunning()) {
    // The window closed while the install thread still runs (it is ending
    // after a failure): end the process here, which stops the thread first,
    // rather than tear down the log and the settings it may still be using.
    ::ExitProcess(0);
  }
  LogUninit();
  return FALSE;
}

int RunInstaller(InstallThreadEntry installThread) {
  RestrictDllSearch();
  InstallDelayLoadHooks(kDelayLoadFailureExitCode);
  COvastroApp app(installThread);
  app.InitInstance();
  return 0;
}

}  // namespace qrn
