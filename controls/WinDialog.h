// A modal dialog on raw Win32, in place of an application framework.
//
// DoModal creates the dialog from a template in the executable and runs a
// message loop of its own, so that PreTranslateMessage sees every queued
// message of the thread first (the keyboard table of the installer window
// needs that; DialogBoxParam's loop offers no such hook). Messages reach
// virtual handlers; a handler returns true when it has handled the message,
// false to let the dialog manager's default processing run.
//
// Controls bound with CSubclassedControl get WM_DRAWITEM reflected to their
// DrawItem, as the framework did.
#pragma once

#include <windows.h>

namespace qrn {

class CWinDialog {
 public:
  // `templateId`: a DIALOG/DIALOGEX resource of the executable. `parent` may
  // be null; a parent is disabled while the dialog runs.
  CWinDialog(UINT templateId, HWND parent);
  virtual ~CWinDialog();
  CWinDialog(const CWinDialog&) = delete;
  CWinDialog& operator=(const CWinDialog&) = delete;

  // Runs the dialog until EndDialog; returns the value given to EndDialog, or
  // -1 when the dialog could not be created. The window is destroyed before
  // this returns.
  INT_PTR DoModal();

  // Ends the modal loop with `result` (IDOK, IDCANCEL, ...).
  void EndDialog(INT_PTR result);

  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  // The framework's slot order: data exchange, message pre-translation, init.
  virtual void DoDataExchange() {}
  // true: the message was handled and goes no further (no dialog manager,
  // no dispatch).
  virtual BOOL PreTranslateMessage(MSG* message);
  // Binds controls (DoDataExchange); returns TRUE to let the system set the
  // focus.
  virtual BOOL OnInitDialog();

  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Handlers. Each returns true when handled.
  virtual bool OnCommand(WORD id, WORD code, HWND control);
  virtual bool OnPaint() { return false; }
  virtual bool OnEraseBkgnd(HDC) { return false; }
  virtual bool OnTimer(UINT_PTR) { return false; }
  virtual bool OnSysCommand(UINT, LPARAM) { return false; }
  virtual bool OnLButtonDown(UINT, POINT) { return false; }
  virtual bool OnShowWindow(BOOL, UINT) { return false; }
  virtual bool OnClose() { return false; }
  // The icon to drag for a minimised window; null: default.
  virtual HICON OnQueryDragIcon() { return nullptr; }
  // WM_CTLCOLOR*: `kind` is one of the CTLCOLOR_* values. The base returns
  // the system's default brush (what the dialog manager would give).
  virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
  // Everything not routed above; true when handled, with *result set.
  virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

  void Invalidate(BOOL erase = TRUE) const;

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handled(LRESULT result);

  UINT templateId_;
  HWND parent_;
  bool ended_ = false;
  INT_PTR result_ = -1;
};

}  // namespace qrn
