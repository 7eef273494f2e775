// The install-path choice: the folder picker, the free-space measurement on
// every change of the path's drive, and the checks the start makes before
// the installation may begin.
//
// The narrow log formats here are the program's own Chinese texts: this
// room is compiled with -fexec-charset=CP936, so they reach the log in code
// page 936 like every other 8-bit text.
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "app/OvastroDlg.h"
#include "app/ProductFolder.h"
#include "base/BuildConstants.h"
#include "base/Product.h"
#include "log/Log.h"
#include "res/resource.h"
#include "system/MakePath.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

const wchar_t kInvalidPath[] = L"您选择的路径无法安装Quorrin，请重新选择";
const wchar_t kNoSpace[] = L"您选择的路径所在磁盘空间不足，请重新选择";
// The start reads at most this many characters of the path (a 260-character buffer).
constexpr int kPathCapacity = 260;

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

}  // namespace

void COvastroDlg::OnBnClickedChangeDir() {
  // The new-style picker needs COM on this thread.
  ComInitScope com;
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW browse{};
  browse.hwndOwner = m_hWnd;
  browse.pidlRoot = nullptr;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = L"请选择安装目录";
  browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  UniqueCoTaskMem chosen(::SHBrowseForFolderW(&browse));
  wchar_t path[MAX_PATH] = {};
  if (!chosen || !::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path)) return;
  // A picked folder too deep to take "\Quorrin" is put in as picked: the
  // start then refuses it rather than cutting it.
  AppendProductFolder(path, MAX_PATH, kProductFolderName);
  ::SetWindowTextW(m_editPath.GetSafeHwnd(), path);
}

void COvastroDlg::OnEnUpdatePath() {
  const std::wstring text = WindowText(m_editPath.GetSafeHwnd());
  const std::wstring drive = text.substr(0, 2);
  if (drive == m_strCurDrive) return;
  m_strCurDrive = drive;
  m_ullFreeBytes = 0;
  m_strSpaceText = GetDiskFreeText(text, &m_ullFreeBytes);
  if (m_strSpaceText.empty()) {
    m_strSpaceText = kInvalidPath;
    LOG_WARNING("选择路径无效：%s", CStringToMultiByte(text).get());
    SetSpaceTextColor(RGB(255, 0, 0));
    m_bPathValid = FALSE;
    return;
  }
  SetSpaceTextColor(RGB(0, 0, 0));
  m_bPathValid = TRUE;
}

void COvastroDlg::RefusePath(const wchar_t* message) {
  MessageBox(message, MB_ICONWARNING);
  // Open the custom-install area so that the path and the red message are in view.
  m_chkCustom.SetCheck(BST_CHECKED);
  OnBnClickedCustom();
}

bool COvastroDlg::AcceptInstallPath() {
  const std::wstring typed = WindowText(m_editPath.GetSafeHwnd());
  wchar_t path[kPathCapacity] = {};
  // A path longer than the buffer, or one that "\Quorrin" would push past
  // it, is refused whole: a cut path would name another folder.
  const bool fits = typed.size() < static_cast<size_t>(kPathCapacity);
  if (fits) typed.copy(path, typed.size());
  if (!fits || !AppendProductFolder(path, kPathCapacity, kProductFolderName)) {
    m_settings.installFolder = typed;
    LOG_WARNING("选择路径无效：%s", CStringToMultiByte(m_settings.installFolder).get());
    RefusePath(kInvalidPath);
    return false;
  }
  m_settings.installFolder = path;

  if (!m_bPathValid) {
    LOG_WARNING("选择路径无效：%s", CStringToMultiByte(m_settings.installFolder).get());
    RefusePath(kInvalidPath);
    return false;
  }
  const uint64_t freeMegabytes = m_ullFreeBytes / 1024 / 1024;
  if (freeMegabytes < static_cast<uint64_t>(kRequiredSpaceMB)) {
    LOG_WARNING("磁盘空间不足：%s", CStringToMultiByte(m_settings.installFolder).get());
    RefusePath(kNoSpace);
    return false;
  }
  if (!::PathFileExistsW(m_settings.installFolder.c_str()) && !MakePath(m_settings.installFolder)) {
    LOG_ERROR("MakePath() failed：%s", CStringToMultiByte(m_settings.installFolder).get());
    RefusePath(kInvalidPath);
    return false;
  }
  return true;
}

}  // namespace qrn
