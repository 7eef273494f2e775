#include "controls/SubclassedControl.h"

namespace qrn {
namespace {

const wchar_t kProperty[] = L"QrnControlObject";

}  // namespace

CSubclassedControl::~CSubclassedControl() { Detach(); }

BOOL CSubclassedControl::SubclassDlgItem(UINT id, HWND dialog) {
  HWND control = ::GetDlgItem(dialog, static_cast<int>(id));
  if (control == nullptr || m_hWnd != nullptr || FromHandle(control) != nullptr) return FALSE;
  m_hWnd = control;
  PreSubclassWindow();
  if (!::SetPropW(control, kProperty, this)) {
    m_hWnd = nullptr;
    return FALSE;
  }
  oldProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedControl::StaticProc)));
  if (oldProc_ == nullptr) {
    ::RemovePropW(control, kProperty);
    m_hWnd = nullptr;
    return FALSE;
  }
  return TRUE;
}

CSubclassedControl* CSubclassedControl::FromHandle(HWND window) {
  return window == nullptr ? nullptr : static_cast<CSubclassedControl*>(::GetPropW(window, kProperty));
}

LRESULT CSubclassedControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CSubclassedControl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(oldProc_, m_hWnd, message, wParam, lParam);
}

void CSubclassedControl::Detach() {
  if (m_hWnd == nullptr) return;
  if (::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    ::RemovePropW(m_hWnd, kProperty);
  }
  m_hWnd = nullptr;
  oldProc_ = nullptr;
}

LRESULT CALLBACK CSubclassedControl::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CSubclassedControl* self = FromHandle(window);
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window goes away: give it its own procedure back and forget it.
    const WNDPROC original = self->oldProc_;
    self->Detach();
    return ::CallWindowProcW(original, window, message, wParam, lParam);
  }
  return self->WindowProc(message, wParam, lParam);
}

}  // namespace qrn
