// What the window starts outside itself: the licence page, and at the end
// the restart notice, the product and the help page. Everything goes through
// the shell's "open" verb and nothing is waited for; failures are logged and
// never stop the installer.
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shellapi.h>

#include <string>

#include "app/OvastroDlg.h"
#include "log/Log.h"
#include "res/resource.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// ShellExecuteW reports failure as a value of 32 or less.
bool ShellOpen(const std::wstring& path, int show) {
  const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void OpenPage(const std::wstring& path) {
  if (ShellOpen(path, SW_SHOWNORMAL)) return;
  const int error = static_cast<int>(::GetLastError());
  LOG_ERROR("ShellExecute() failed, path:%s error code:%d", CStringToMultiByte(path).get(), error);
}

}  // namespace

void COvastroDlg::OnBnClickedLicense() {
  const std::wstring dataFolder = GetAppDataDir();
  // Without the data folder the page would land in the root of the current drive.
  if (dataFolder.empty()) {
    LOG_ERROR("CreateFileFromResource() failed");
    return;
  }
  const std::wstring path = dataFolder + L"\\license.htm";
  if (!CreateFileFromResource(path, IDR_LICENSE, MAKEINTRESOURCEW(23))) {
    LOG_ERROR("CreateFileFromResource() failed");
    return;
  }
  OpenPage(path);
}

void COvastroDlg::LaunchProduct() {
  if (m_settings.overwriteInstall) return;
  const std::wstring path = m_settings.installFolder + L"\\QRN.exe";
  if (!ShellOpen(path, SW_SHOW)) LOG_ERROR("Run QRN.exe failed");
}

void COvastroDlg::OnBnClickedFinish() {
  if (m_settings.overwriteInstall) {
    MessageBox(L"覆盖安装后部分功能需要重启才能使用", MB_ICONINFORMATION);
  }
  HCURSOR normal = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  LaunchProduct();
  ::SetCursor(normal);
  if (m_chkHelp.GetCheck() == BST_CHECKED) OpenPage(m_settings.installFolder + L"\\help\\QRN_help.html");
  OnOK();
}

}  // namespace qrn
