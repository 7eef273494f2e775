// Hover and leave notification for the skinned controls.
#pragma once

#include <windows.h>

namespace qrn {

// Asks for WM_MOUSEHOVER (after 1 ms at rest) and WM_MOUSELEAVE for
// `control`; returns TrackMouseEvent's result, which the controls keep as
// their "armed" flag so that a failed request is retried on the next move.
BOOL ArmMouseTracking(HWND control);

// The hover state every skinned control keeps: tracking is armed on a move
// while not armed, WM_MOUSEHOVER sets `hover`, WM_MOUSELEAVE clears both
// flags; each change invalidates the control (`eraseOnLeave`: whether the
// repaint after leaving erases the background). Returns TRUE when `message`
// was WM_MOUSEHOVER or WM_MOUSELEAVE, which the control then answers with 0;
// every other message, WM_MOUSEMOVE included, goes on to its own handling.
BOOL HandleHoverMessage(HWND control, UINT message, BOOL* hover, BOOL* tracking, BOOL eraseOnLeave);

}  // namespace qrn
