#include "app/OvastroDlg.h"

#include <process.h>

#include <cwchar>

#include "app/AboutDlg.h"
#include "base/Product.h"
#include "controls/SkinFont.h"
#include "log/Log.h"
#include "res/resource.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressInterval = 80;
constexpr UINT kAboutCommand = 0x10;

}  // namespace

COvastroDlg::COvastroDlg(InstallThreadEntry installThread, HWND parent)
    : CDlgBase(IDD_OVASTRO_DIALOG, parent, m_statusLine),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_fontEdit(CreateSkinFont(18)),
      m_installEntry(installThread) {}

COvastroDlg::~COvastroDlg() { m_settings.statusLine.SetListener(nullptr, nullptr); }

bool COvastroDlg::InstallThreadRunning() const {
  return m_settings.installThread && ::WaitForSingleObject(m_settings.installThread.get(), 0) == WAIT_TIMEOUT;
}

void COvastroDlg::DoDataExchange() {
  m_btnStart.SubclassDlgItem(IDC_BTN_START, m_hWnd);
  m_chkAgree.SubclassDlgItem(IDC_CHECK_AGREE, m_hWnd);
  m_btnClose.SubclassDlgItem(IDC_BTN_CLOSE, m_hWnd);
  m_btnMin.SubclassDlgItem(IDC_BTN_MIN, m_hWnd);
  m_btnLicense.SubclassDlgItem(IDC_BTN_LICENSE, m_hWnd);
  m_chkCustom.SubclassDlgItem(IDC_CHECK_CUSTOM, m_hWnd);
  m_btnChangeDir.SubclassDlgItem(IDC_BTN_CHANGE_DIR, m_hWnd);
  m_editPath.SubclassDlgItem(IDC_EDIT_PATH, m_hWnd);
  m_btnFinish.SubclassDlgItem(IDC_BTN_FINISH, m_hWnd);
  m_chkHelp.SubclassDlgItem(IDC_CHECK_HELP, m_hWnd);
}

BOOL COvastroDlg::OnInitDialog() {
  CDlgBase::OnInitDialog();

  if (HMENU menu = ::GetSystemMenu(m_hWnd, FALSE)) {
    wchar_t about[128] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(menu, MF_STRING, kAboutCommand, about);
    }
  }
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kDlgWidth, kWelcomeHeight, SWP_NOMOVE | SWP_NOZORDER);

  wchar_t title[128];
  std::swprintf(title, 128, L"Quorrin软件版 V%ls 安装", MultiByteToCString(kProductVersion).c_str());
  SetTitle(title);
  ::SetWindowTextW(m_hWnd, title);

  m_btnStart.MoveWindow(184, 232, 182, 46);
  m_btnStart.LoadSkinBitmap(IDB_START);
  m_chkAgree.SetCheck(BST_CHECKED);
  m_chkHelp.SetCheck(BST_CHECKED);
  m_btnClose.MoveWindow(514, 1, 35, 20);
  m_btnClose.LoadSkinBitmap(IDB_CLOSE);
  m_btnMin.MoveWindow(488, 1, 26, 20);
  m_btnMin.LoadSkinBitmap(IDB_MINIMIZE);
  m_chkAgree.MoveWindow(10, 292, 55, 22);
  m_chkAgree.LoadSkinBitmap(IDB_CHECKBOX);
  m_btnLicense.MoveWindow(60, 292, 80, 22);
  m_chkCustom.MoveWindow(465, 292, 75, 22);
  m_chkCustom.LoadSkinBitmap(IDB_CUSTOM_GLYPHS);
  m_chkHelp.MoveWindow(237, 292, 76, 22);
  m_chkHelp.LoadSkinBitmap(IDB_CHECKBOX);
  m_btnChangeDir.MoveWindow(458, 341, 77, 26);
  m_btnChangeDir.LoadSkinBitmap(IDB_CHANGE_DIR);
  m_btnChangeDir.SetFontSize(90);
  m_btnChangeDir.SetCaptionColor(RGB(0, 0, 0));
  m_editPath.MoveWindow(73, 346, 375, 18);

  m_settings.previousUninstallString = GetUninstallString();
  m_settings.earlierProductUninstallString = GetEarlierUninstallString();
  if (m_settings.previousUninstallString.empty()) {
    m_settings.installFolder = GetDefaultInstallDir();
  } else {
    const size_t slash = m_settings.previousUninstallString.rfind(L'\\');
    m_settings.installFolder = m_settings.previousUninstallString.substr(0, slash);
    m_settings.overwriteInstall = TRUE;
  }
  // Raises EN_UPDATE, which measures the drive's free space at once.
  ::SetWindowTextW(m_editPath.GetSafeHwnd(), m_settings.installFolder.c_str());
  ::SendMessageW(m_editPath.GetSafeHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_fontEdit.get()), TRUE);

  m_btnFinish.MoveWindow(184, 232, 182, 46);
  m_btnFinish.LoadSkinBitmap(IDB_START);
  m_btnFinish.ShowWindow(SW_HIDE);
  m_chkHelp.ShowWindow(SW_HIDE);

  m_settings.statusLine.SetListener(&COvastroDlg::OnStatusChanged, this);
  return TRUE;
}

void COvastroDlg::OnStatusChanged(void* self) { static_cast<COvastroDlg*>(self)->InvalidateStatusStrip(); }

int COvastroDlg::MessageBox(const wchar_t* text, UINT type) const {
  return ::MessageBoxW(m_hWnd, text, L"Quorrin", type);
}

bool COvastroDlg::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_EDIT_PATH && code == EN_UPDATE) {
    OnEnUpdatePath();
    return true;
  }
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_BTN_MIN:
        OnBnClickedMin();
        return true;
      case IDC_BTN_CLOSE:
        OnBnClickedClose();
        return true;
      case IDC_CHECK_AGREE:
        OnBnClickedAgree();
        return true;
      case IDC_CHECK_CUSTOM:
        OnBnClickedCustom();
        return true;
      case IDC_BTN_CHANGE_DIR:
        OnBnClickedChangeDir();
        return true;
      case IDC_BTN_START:
        OnBnClickedStart();
        return true;
      case IDC_BTN_FINISH:
        OnBnClickedFinish();
        return true;
      case IDC_BTN_LICENSE:
        OnBnClickedLicense();
        return true;
      default:
        break;
    }
  }
  return CDlgBase::OnCommand(id, code, control);
}

bool COvastroDlg::OnSysCommand(UINT id, LPARAM) {
  if ((id & 0xFFF0) == kAboutCommand) {
    CAboutDlg about(m_hWnd);
    about.DoModal();
    return true;
  }
  // Closing through the system menu (or the taskbar) while installing would
  // end the process under the install thread, half-way through changing the
  // machine: refused, as the close button and Alt+F4 are.
  if ((id & 0xFFF0) == SC_CLOSE && m_nDlgState == 1) return true;
  return false;
}

bool COvastroDlg::OnClose() {
  // WM_CLOSE from elsewhere (another program, a task manager's polite close):
  // the same refusal while installing.
  return m_nDlgState == 1;
}

bool COvastroDlg::OnLButtonDown(UINT, POINT point) {
  // Dragging anywhere on the background moves the window, as its caption would.
  ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  return false;
}

HBRUSH COvastroDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
  HBRUSH brush = CDlgBase::OnCtlColor(dc, control, kind);
  if (kind == CTLCOLOR_EDIT && control == m_editPath.GetSafeHwnd()) ::SetBkColor(dc, RGB(255, 255, 255));
  return brush;
}

bool COvastroDlg::OnMessage(UINT message, WPARAM, LPARAM, LRESULT*) {
  // The hook calls into this object from the install thread; unhook before
  // the window goes.
  if (message == WM_DESTROY) m_settings.statusLine.SetListener(nullptr, nullptr);
  return false;
}

void COvastroDlg::OnBnClickedMin() { ::ShowWindow(m_hWnd, SW_MINIMIZE); }

void COvastroDlg::OnBnClickedClose() {
  if (m_nDlgState == 0) {
    if (MessageBox(L"您确定要退出“Quorrin”安装程序吗？", MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL) return;
  }
  OnCancel();
}

void COvastroDlg::OnBnClickedAgree() { m_btnStart.EnableWindow(m_chkAgree.GetCheck() == BST_CHECKED); }

void COvastroDlg::OnBnClickedCustom() {
  const int height = m_chkCustom.GetCheck() == BST_CHECKED ? kExpandedHeight : kWelcomeHeight;
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kDlgWidth, height, SWP_NOMOVE | SWP_NOZORDER);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void COvastroDlg::OnBnClickedStart() {
  if (!AcceptInstallPath()) return;

  if (IsWow64() && !LoadSys64Fun()) {
    LOG_ERROR("LoadSys64Fun() failed, error code:%d", static_cast<int>(::GetLastError()));
    MessageBox(L"安装失败", MB_ICONWARNING);
    return;
  }

  m_settings.progressShown = 0;
  m_settings.progressTarget = 10;
  m_settings.installFailed = FALSE;
  const uintptr_t thread = ::_beginthreadex(nullptr, 0, m_installEntry, &m_settings, 0, nullptr);
  if (thread == 0) {
    LOG_ERROR("_beginthreadex() failed, error code:%d", static_cast<int>(::GetLastError()));
    MessageBox(L"安装失败", MB_ICONWARNING);
    return;
  }
  m_settings.installThread.reset(reinterpret_cast<HANDLE>(thread));
  EnterInstallingState();
}

void COvastroDlg::EnterInstallingState() {
  m_btnClose.EnableWindow(FALSE);
  m_nDlgState = 1;
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kDlgWidth, kInstallingHeight, SWP_NOMOVE | SWP_NOZORDER);
  m_chkAgree.ShowWindow(SW_HIDE);
  m_btnStart.ShowWindow(SW_HIDE);
  m_btnLicense.ShowWindow(SW_HIDE);
  m_chkCustom.ShowWindow(SW_HIDE);
  m_btnChangeDir.ShowWindow(SW_HIDE);
  m_editPath.ShowWindow(SW_HIDE);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  ::SetTimer(m_hWnd, kProgressTimer, kProgressInterval, nullptr);
}

void COvastroDlg::EnterFinishedState() {
  m_nDlgState = 2;
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kDlgWidth, kFinishedHeight, SWP_NOMOVE | SWP_NOZORDER);
  m_btnFinish.ShowWindow(SW_SHOW);
  m_btnClose.EnableWindow(TRUE);
  m_chkHelp.SetCheck(BST_UNCHECKED);
  m_chkHelp.ShowWindow(SW_HIDE);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool COvastroDlg::OnTimer(UINT_PTR id) {
  if (id != kProgressTimer) return false;
  int32_t& progressShown = m_settings.progressShown;
  if (progressShown < m_settings.progressTarget) ++progressShown;
  if (progressShown >= 100) {
    ::KillTimer(m_hWnd, kProgressTimer);
    EnterFinishedState();
  }
  SetProgress(progressShown);
  if (m_settings.installFailed) {
    ::KillTimer(m_hWnd, kProgressTimer);
    MessageBox(L"Quorrin安装失败！", MB_ICONWARNING);
    OnCancel();
  }
  // Every timer message also goes on to the default handling.
  return false;
}

BOOL COvastroDlg::PreTranslateMessage(MSG* message) {
  if (message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE) return TRUE;
  if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN) {
    if (m_nDlgState == 0) {
      OnBnClickedStart();
    } else if (m_nDlgState == 2) {
      OnBnClickedFinish();
    }
    return TRUE;
  }
  if (message->message == WM_SYSKEYDOWN && message->wParam == VK_F4) {
    if (m_nDlgState == 0) {
      OnBnClickedClose();
      return TRUE;
    }
    if (m_nDlgState == 1) return TRUE;
  }
  return CDlgBase::PreTranslateMessage(message);
}

}  // namespace qrn
