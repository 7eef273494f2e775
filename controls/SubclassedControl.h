// A dialog control bound to a C++ object: the control's window procedure is
// replaced by one that calls the object's virtual WindowProc, whose default
// is the control's original procedure. The object must outlive the window or
// be destroyed first (its destructor gives the window its procedure back).
//
// The binding is a window property, not SetWindowSubclass, because that
// lives in comctl32, which the installer loads only at run time.
#pragma once

#include <windows.h>

namespace qrn {

class CSubclassedControl {
 public:
  CSubclassedControl() = default;
  virtual ~CSubclassedControl();
  CSubclassedControl(const CSubclassedControl&) = delete;
  CSubclassedControl& operator=(const CSubclassedControl&) = delete;

  // Binds control `id` of `dialog`: PreSubclassWindow runs first, then the
  // procedure is replaced. FALSE when there is no such control or it is
  // already bound.
  BOOL SubclassDlgItem(UINT id, HWND dialog);

  // The object bound to `window`, or null.
  static CSubclassedControl* FromHandle(HWND window);

  // Owner drawing, reflected by the dialog from WM_DRAWITEM.
  virtual void DrawItem(const DRAWITEMSTRUCT&) {}

  HWND GetSafeHwnd() const { return m_hWnd; }
  void ShowWindow(int command) const { ::ShowWindow(m_hWnd, command); }
  void EnableWindow(BOOL enable) const { ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  int GetCheck() const { return static_cast<int>(::SendMessageW(m_hWnd, BM_GETCHECK, 0, 0)); }
  void SetCheck(int check) const { ::SendMessageW(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0); }
  void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }

 protected:
  // Runs before the procedure is replaced (styles are changed here).
  virtual void PreSubclassWindow() {}
  // The control's messages; the base passes them to the original procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The original procedure of the control.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;

 private:
  static LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Detach();

  WNDPROC oldProc_ = nullptr;
};

}  // namespace qrn
