// The skin's fonts: one face, "微软雅黑", at a few heights.
#pragma once

#include <windows.h>

#include "base/Owners.h"

namespace qrn {

// Height in logical units of the device (pixels in a window); width 0,
// weight 400, not italic, underlined or struck out, character set 0, default
// precisions and quality, FF_SWISS.
UniqueHFont CreateSkinFont(int height);

// The same face at a point size given in tenths of a point, converted with
// the screen's vertical resolution (the framework's CreatePointFont rule).
UniqueHFont CreateSkinPointFont(int tenthsOfPoint);

}  // namespace qrn
