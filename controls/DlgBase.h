// The skinned base of the installer window. It paints the whole client area
// itself: the banner with the title, then one of three layouts by window
// state (0 welcome, 1 installing, 2 finished), and the border. Painting is
// double-buffered and the setters invalidate only the strip that shows their
// value, so the window does not flicker while the install thread reports.
//
// Layout origin h is the banner's height as loaded (195 for the supplied
// picture); rectangles are (left, top)-(right, bottom) in client pixels:
//   status text      (20, h+20)-(450, h+40)
//   percentage       (450, h+20)-(530, h+40)
//   progress bar     (20, h+46)-(530, h+52), track 510 wide
//   free-space line  y 380, whole width (only visible when 410 high)
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/Owners.h"
#include "controls/StatusLine.h"
#include "controls/WinDialog.h"

namespace qrn {

// The window's outer size in its states: welcome (collapsed, or with the
// custom-install area open), installing, finished.
inline constexpr int kDlgWidth = 550;
inline constexpr int kWelcomeHeight = 320;
inline constexpr int kExpandedHeight = 410;
inline constexpr int kInstallingHeight = 275;
inline constexpr int kFinishedHeight = 320;

// Skin resources painted by the base.
enum : UINT {
  IDB_SKIN_BANNER = 129,
  IDB_SKIN_PATH_FRAME = 144,
  IDB_SKIN_QR_CODE = 145,
  IDB_SKIN_DONE = 150,
};

class CDlgBase : public CWinDialog {
 public:
  // `status` keeps the status line; it must outlive the dialog.
  CDlgBase(UINT templateId, HWND parent, CStatusLine& status);
  ~CDlgBase() override;

  // Stores the title drawn on the banner; no repaint (set before the window
  // is first shown).
  void SetTitle(const std::wstring& title);
  // Stores the colour of m_strSpaceText (set the text first) and repaints the
  // free-space line.
  void SetSpaceTextColor(COLORREF colour);
  // Stores the percentage and repaints the percentage and the bar.
  void SetProgress(int percent);
  // The status-line setter: any thread. Stores through the status line and
  // repaints the status strip; never waits for painting.
  void SetStatusText(const std::wstring& text);
  // Repaints the status strip; any thread (InvalidateRect is allowed from
  // any thread and does not wait).
  void InvalidateStatusStrip() const;

  int BannerHeight() const { return m_bmBack.bmHeight; }

 protected:
  BOOL OnInitDialog() override;
  bool OnPaint() override;
  // OnPaint draws every pixel of the client area through a memory bitmap:
  // erasing first would only show the bare background for a moment (the
  // progress bar flickered empty on every step).
  bool OnEraseBkgnd(HDC) override { return true; }

  // Paints everything onto `dc` (an off-screen bitmap of the client size).
  void DrawDialog(HDC dc, const RECT& client);

  // The text after the required-space label; written by the derived dialog.
  std::wstring m_strSpaceText;
  // 0 welcome, 1 installing, 2 finished; written by the derived dialog.
  int m_nDlgState = 0;
  UniqueHBitmap m_bmpBack;
  BITMAP m_bmBack{};
  std::wstring m_strTitle;
  UniqueHFont m_fontText;
  UniqueHFont m_fontBig;
  UniqueHPen m_penLine;
  UniqueHBitmap m_bmpPathFrame;
  COLORREF m_clrSpaceText = RGB(0, 0, 0);
  UniqueHPen m_penBorder;
  int m_nPercent = 0;
  UniqueHBitmap m_bmpQrCode;
  // The status line (m_strStatus): kept by the install settings' hand-over.
  CStatusLine& m_status;
  UniqueHBitmap m_bmpDone;

 private:
  // The window the status strip belongs to, for the install thread: set
  // once, never cleared (invalidating a window that has gone does nothing).
  std::atomic<HWND> m_statusWindow{nullptr};

  void DrawWelcome(HDC dc, const RECT& client, int h);
  void DrawInstalling(HDC dc, const RECT& client, int h);
  void DrawFinished(HDC dc, const RECT& client, int h);
  void ResizeClientHeight(int height, RECT* client);
};

}  // namespace qrn
