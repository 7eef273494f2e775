// Hover and leave notification for the skinned controls.
#pragma once

#include <windows.h>

namespace qrn {

// Asks for WM_MOUSEHOVER (after 1 ms at rest) and WM_MOUSELEAVE for
// `control`; returns TrackMouseEvent's result, which the controls keep as
// their "armed" flag so that a failed request is retried on the next move.
BOOL ArmMouseTracking(HWND control);

}  // namespace qrn
