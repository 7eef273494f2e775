// The caption of an owner-drawn push button, as the skinned buttons draw it.
#pragma once

#include <windows.h>

namespace qrn {

// Draws the button's window text centred on one line inside the item
// rectangle less the system edge, in `font` and `color` on a transparent
// background; a pushed button's caption moves 2 pixels right and 1 down.
// The device context is left as it was found.
void DrawButtonCaption(HWND button, const DRAWITEMSTRUCT& item, HFONT font, COLORREF color);

}  // namespace qrn
