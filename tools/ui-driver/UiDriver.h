// Drives a Windows program's windows from outside, as a user would, for the
// window tests and the screenshots: start it, find its windows, click
// controls, press keys, move the mouse, read what the controls show, answer
// message boxes and photograph windows.
//
// Everything works across processes: clicks and keys are posted (a click
// that opens a modal box must not block the driver), reads use messages the
// system marshals (WM_GETTEXT) or window state, and Sync() waits until the
// target thread has processed what was posted. A click is refused on a
// control a user could not click (hidden or disabled), because BM_CLICK
// itself would click it anyway.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Owners.h"

namespace qrn::ui {

// A started program; ended (TerminateProcess) on destruction if still running.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(Program&&) noexcept = default;
  Program& operator=(Program&&) noexcept = default;

  // Starts `exe` with `arguments` (the command line gets the quoted exe path
  // first). Empty on failure; `error` then says why.
  static Program Start(const std::wstring& exe, const std::wstring& arguments, std::string* error);

  explicit operator bool() const { return static_cast<bool>(process_); }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  // true when the program ended within `timeoutMs`; its exit code in *exitCode.
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
  void Kill();
  // Lets the program run on: forgets it without ending it.
  void Detach() { process_.reset(); }

 private:
  UniqueHandle process_;
  DWORD pid_ = 0;
};

// Visible top-level windows of process `pid`, in z-order.
std::vector<HWND> TopWindows(DWORD pid);
// Waits for a visible top-level window of `pid` whose title contains
// `titlePart` (empty: any) and that is not `exclude`. Null on time-out.
HWND WaitForWindow(DWORD pid, const std::wstring& titlePart, DWORD timeoutMs, HWND exclude = nullptr);
// Waits for a message box of `pid`: a visible top-level dialog (#32770),
// other than `exclude`, with an OK or Cancel button. Null on time-out.
HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs, HWND exclude = nullptr);
// Waits until `window` is gone. true when it went.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// Waits until the thread owning `window` answers a sent message (WM_NULL).
// A sent message is handled at the thread's next message retrieval, before
// the posted messages waiting in its queue. false on time-out.
bool Sync(HWND window, DWORD timeoutMs = 5000);
// Waits until `posted` messages posted to `window`'s thread have been
// handled (or have opened a modal loop that handles messages): each sent
// message, a little apart, is handled after one more posted message.
bool SyncPosted(HWND window, int posted);

HWND Control(HWND dialog, int id);
bool IsVisible(HWND window);
// Visible and inside its top-level window's rectangle (controls placed below
// a window's current height are visible yet out of sight).
bool IsInView(HWND control);
bool IsEnabled(HWND window);
// BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE; -1 when not answered.
int CheckState(HWND control);
std::wstring Text(HWND window);
SIZE WindowSize(HWND window);
RECT WindowRect(HWND window);

// Clicks control `id` of `dialog` with a posted BM_CLICK, then syncs. Empty
// on success, else why not (missing, hidden, disabled).
std::string Click(HWND dialog, int id);
// Sets a control's text (WM_SETTEXT, which an edit box reports with EN_UPDATE).
bool SetText(HWND control, const std::wstring& text);
// Posts a key press (WM_KEYDOWN, WM_KEYUP) to `window`, then syncs.
void PressKey(HWND window, UINT virtualKey);
// Posts Alt+F4: WM_SYSKEYDOWN VK_F4 with the context bit (29) that says Alt
// is down, then WM_SYSKEYUP; then syncs.
void PressAltF4(HWND window);
// Posts a system command (SC_CLOSE, a menu item's id) as the system menu would.
void PostSysCommand(HWND window, UINT command);

// Moves the mouse onto the centre of `window` (SetCursorPos), or off every
// window of the test.
bool Hover(HWND window);
bool MoveMouseAway();
// Presses the left button at `from` (screen point), moves to `to` and
// releases it, through SendInput.
bool Drag(POINT from, POINT to);

// The text of a message box (its static text control).
std::wstring MessageBoxText(HWND box);
// Presses button `id` (IDOK, IDCANCEL, ...) of a message box.
bool PressButton(HWND box, int id);

// A picture of a window, top-down rows of 0x00RRGGBB.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  COLORREF At(int x, int y) const;  // RGB(); CLR_INVALID outside
};
// Copies what `window` shows (BitBlt from its window DC, which includes its
// child controls; PrintWindow misses them under Wine). Repaints first unless
// told not to.
bool Capture(HWND window, Image* image, bool repaint = true);
// Writes a 24-bit BMP.
bool SaveBmp(const Image& image, const std::wstring& path);

// Converts between UTF-8 and wide text.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace qrn::ui
