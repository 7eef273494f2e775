#include "controls/WinDialog.h"

#include "controls/SubclassedControl.h"

namespace qrn {

CWinDialog::CWinDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CWinDialog::~CWinDialog() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

INT_PTR CWinDialog::DoModal() {
  ended_ = false;
  result_ = -1;
  HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                                     &CWinDialog::StaticProc, reinterpret_cast<LPARAM>(this));
  if (window == nullptr) return -1;
  const bool disableParent = parent_ != nullptr && ::IsWindowEnabled(parent_);
  if (disableParent) ::EnableWindow(parent_, FALSE);
  if (!ended_ && !::IsWindowVisible(window)) ::ShowWindow(window, SW_SHOWNORMAL);

  MSG message;
  while (!ended_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // WM_QUIT ends the dialog; whoever runs the outer loop sees it again.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (PreTranslateMessage(&message)) continue;
    if (::IsDialogMessageW(window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }

  // The parent is enabled before the dialog goes, so that activation returns to it.
  if (disableParent) ::EnableWindow(parent_, TRUE);
  ::DestroyWindow(window);
  m_hWnd = nullptr;
  return result_;
}

void CWinDialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  // Wakes the loop when this runs outside a dispatched message.
  if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CWinDialog::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWinDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

bool CWinDialog::OnCommand(WORD id, WORD code, HWND) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

HBRUSH CWinDialog::OnCtlColor(HDC dc, HWND control, UINT kind) {
  return reinterpret_cast<HBRUSH>(::DefWindowProcW(m_hWnd, WM_CTLCOLORMSGBOX + kind, reinterpret_cast<WPARAM>(dc),
                                                   reinterpret_cast<LPARAM>(control)));
}

void CWinDialog::Invalidate(BOOL erase) const { ::InvalidateRect(m_hWnd, nullptr, erase); }

INT_PTR CWinDialog::Handled(LRESULT result) {
  ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK CWinDialog::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWinDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CWinDialog*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = window;
  } else {
    self = reinterpret_cast<CWinDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  return self->DialogProc(message, wParam, lParam);
}

INT_PTR CWinDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return Handled(0);
      return FALSE;
    case WM_PAINT:
      return OnPaint() ? Handled(0) : FALSE;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<HDC>(wParam)) ? Handled(TRUE) : FALSE;
    case WM_TIMER:
      return OnTimer(static_cast<UINT_PTR>(wParam)) ? Handled(0) : FALSE;
    case WM_SYSCOMMAND:
      return OnSysCommand(static_cast<UINT>(wParam), lParam) ? Handled(0) : FALSE;
    case WM_LBUTTONDOWN:
      return OnLButtonDown(static_cast<UINT>(wParam),
                           POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))})
                 ? Handled(0)
                 : FALSE;
    case WM_SHOWWINDOW:
      return OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)) ? Handled(0) : FALSE;
    case WM_CLOSE:
      return OnClose() ? Handled(0) : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose result a dialog procedure returns directly.
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message - WM_CTLCOLORMSGBOX));
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      CSubclassedControl* control = item != nullptr ? CSubclassedControl::FromHandle(item->hwndItem) : nullptr;
      if (control == nullptr) return FALSE;
      control->DrawItem(*item);
      return Handled(TRUE);
    }
    default:
      break;
  }
  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, &result)) return Handled(result);
  return FALSE;
}

}  // namespace qrn
