#include "uninstaller/ShortcutRemoval.h"

#include <shlobj.h>
#include <windows.h>

#include <string>

#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

constexpr wchar_t kDesktopLink[] = L"Quorrin软件版.lnk";
constexpr wchar_t kMenuFolder[] = L"Quorrin软件版";
constexpr wchar_t kToolsFolder[] = L"加密助手";
constexpr const wchar_t* kMenuLinks[] = {L"启动Quorrin.lnk", L"卸载Quorrin.lnk"};
constexpr wchar_t kToolsLink[] = L"文件彻底粉碎.lnk";

bool SpecialFolder(int csidl, std::wstring* folder) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return false;
  *folder = path;
  return !folder->empty();
}

bool DeleteLink(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) {
    LOG_DEBUG("shortcut removed:%s", CStringToMultiByte(path).get());
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
  LOG_ERROR("DeleteFile() failed, error code:%d path:%s", static_cast<int>(error), CStringToMultiByte(path).get());
  return false;
}

// Removes the folder when empty; a folder with anything else in it stays.
void RemoveFolderIfEmpty(const std::wstring& folder) {
  if (RemoveDirectoryW(folder.c_str())) return;
  const DWORD error = GetLastError();
  if (error == ERROR_DIR_NOT_EMPTY || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
  LOG_WARNING("RemoveDirectory() failed, error code:%d path:%s", static_cast<int>(error),
              CStringToMultiByte(folder).get());
}

bool RemoveFromDesktop(int csidl) {
  std::wstring desktop;
  if (!SpecialFolder(csidl, &desktop)) return true;  // no such folder: nothing there
  return DeleteLink(desktop + L"\\" + kDesktopLink);
}

bool RemoveFromPrograms(int csidl) {
  std::wstring programs;
  if (!SpecialFolder(csidl, &programs)) return true;
  const std::wstring menu = programs + L"\\" + kMenuFolder;
  const std::wstring tools = menu + L"\\" + kToolsFolder;
  bool ok = DeleteLink(tools + L"\\" + kToolsLink);
  for (const wchar_t* link : kMenuLinks) ok = DeleteLink(menu + L"\\" + link) && ok;
  RemoveFolderIfEmpty(tools);
  RemoveFolderIfEmpty(menu);
  return ok;
}

}  // namespace

bool RemoveShortcuts() {
  bool ok = RemoveFromDesktop(CSIDL_DESKTOP);
  ok = RemoveFromDesktop(CSIDL_COMMON_DESKTOPDIRECTORY) && ok;
  ok = RemoveFromPrograms(CSIDL_PROGRAMS) && ok;
  ok = RemoveFromPrograms(CSIDL_COMMON_PROGRAMS) && ok;
  return ok;
}

}  // namespace qrn
