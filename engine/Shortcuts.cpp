#include "engine/Shortcuts.h"

#include <shlobj.h>
#include <windows.h>

#include "log/Log.h"
#include "system/ShellLink.h"

namespace qrn {
namespace {

constexpr wchar_t kDesktopName[] = L"Quorrin软件版";
constexpr wchar_t kMenuFolder[] = L"Quorrin软件版";
constexpr wchar_t kToolsFolder[] = L"加密助手";

SpecialFolderFn g_folderOverride = nullptr;

// The current user's special folder, not created when missing.
bool SpecialFolder(int csidl, std::wstring* folder) {
  if (g_folderOverride != nullptr) return g_folderOverride(csidl, folder);
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return false;
  *folder = path;
  return true;
}

bool FindFolder(int csidl, std::wstring* folder) {
  if (SpecialFolder(csidl, folder)) return true;
  LOG_ERROR("SHGetSpecialFolderPath() failed, error code:%d", static_cast<int>(GetLastError()));
  return false;
}

// An existing folder also fails here and is logged; it is used all the same.
void MakeFolder(const std::wstring& folder) {
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    LOG_ERROR("CreateDirectory() failed, error code:%d", static_cast<int>(GetLastError()));
  }
}

}  // namespace

void SetSpecialFolderForTesting(SpecialFolderFn query) { g_folderOverride = query; }

void CreateShortcut(const InstallSettings& settings, const std::wstring& name, const std::wstring& folder,
                    const std::wstring& target, const std::wstring& iconFile) {
  const std::wstring targetPath = settings.installFolder + target;
  const std::wstring linkPath = folder + L"\\" + name + L".lnk";
  const std::wstring iconPath = iconFile.empty() ? std::wstring() : settings.installFolder + L"\\" + iconFile;
  CreateShellLink(targetPath, linkPath, iconPath);
}

void OverSetup(InstallSettings& settings) {
  std::wstring desktop;
  if (FindFolder(CSIDL_DESKTOP, &desktop)) CreateShortcut(settings, kDesktopName, desktop, L"\\QRN.exe", L"QRN.ico");

  std::wstring programs;
  if (FindFolder(CSIDL_PROGRAMS, &programs)) {
    const std::wstring menu = programs + L"\\" + kMenuFolder;
    MakeFolder(menu);
    CreateShortcut(settings, L"启动Quorrin", menu, L"\\QRN.exe", L"QRN.ico");
    CreateShortcut(settings, L"卸载Quorrin", menu, L"\\Uninstall.exe", L"");
    const std::wstring tools = menu + L"\\" + kToolsFolder;
    MakeFolder(tools);
    CreateShortcut(settings, L"文件彻底粉碎", tools, L"\\SecureDel.exe", L"");
  }

  // The shell picks up the file types the registry stage wrote.
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace qrn
