#include "engine/PreviousVersions.h"

#include <windows.h>

#include "base/Product.h"
#include "engine/ProcessControl.h"
#include "log/Log.h"
#include "payload/ExtractArchive.h"

namespace qrn {
namespace {

constexpr wchar_t kRemovingText[] = L"正在卸载旧版本...";
constexpr wchar_t kQuitEvent[] = L"MV_Manager_UI_Quit";
constexpr wchar_t kUiEvent[] = L"MV_TOLVEK_UI_EVENT";
constexpr int kQuitChecks = 200;  // 100 ms apart: 20 s
constexpr DWORD kQuitCheckInterval = 100;

void RemoveEarlierProduct(InstallSettings& settings) {
  settings.SetStatusText(kRemovingText);
  SignalNamedEvent(kQuitEvent);
  for (int left = kQuitChecks; left != 0 && NamedEventExists(kUiEvent); --left) Sleep(kQuitCheckInterval);
  TerminateProcessByName(L"Tolvek.exe");
  TerminateProcessByName(L"TolvekService.exe");
  if (!WaitForUnist(settings.earlierProductUninstallString)) LOG_ERROR("WaitForUnist() failed");
}

// The last component of the folder that holds `path` ("" without backslash).
std::wstring FolderName(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  const std::wstring folder = path.substr(0, slash);
  const size_t parent = folder.rfind(L'\\');
  return parent == std::wstring::npos ? folder : folder.substr(parent + 1);
}

bool RemoveEarlierInstallation(InstallSettings& settings) {
  settings.SetStatusText(kRemovingText);
  const std::wstring& uninstaller = settings.previousUninstallString;
  // Only an uninstaller in a folder named exactly "Quorrin" is trusted to
  // remove its installation itself; any other gets the payload's.
  if (FolderName(uninstaller) != kProductFolderName) {
    if (!DeleteFileW(uninstaller.c_str())) {
      LOG_ERROR("DeleteFile() failed, error code:%d", static_cast<int>(GetLastError()));
    }
    ExtractUninstaller(settings);
  }
  if (!WaitForUnist(uninstaller)) {
    LOG_ERROR("WaitForUnist() failed");
    return false;
  }
  return true;
}

}  // namespace

bool RemovePreviousVersions(InstallSettings& settings) {
  if (!settings.earlierProductUninstallString.empty()) RemoveEarlierProduct(settings);
  if (!settings.previousUninstallString.empty()) return RemoveEarlierInstallation(settings);
  return true;
}

}  // namespace qrn
