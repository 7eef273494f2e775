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

}  // namespace qrn
