#include "controls/MouseTracking.h"

namespace qrn {

BOOL ArmMouseTracking(HWND control) {
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = control;
  track.dwHoverTime = 1;
  return ::TrackMouseEvent(&track);
}

BOOL HandleHoverMessage(HWND control, UINT message, BOOL* hover, BOOL* tracking, BOOL eraseOnLeave) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!*tracking) *tracking = ArmMouseTracking(control);
      return FALSE;
    case WM_MOUSEHOVER:
      *hover = TRUE;
      ::InvalidateRect(control, nullptr, TRUE);
      return TRUE;
    case WM_MOUSELEAVE:
      *hover = FALSE;
      *tracking = FALSE;
      ::InvalidateRect(control, nullptr, eraseOnLeave);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace qrn
