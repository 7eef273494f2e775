// A self-painted check box (the custom-install toggle): its caption on white
// at the left and a 13 x 13 glyph at the right edge, from a strip of four
// glyphs: 0 down dark, 1 down light, 2 up dark, 3 up light. Dark shows the
// hovered, unpressed state; the chevron points up when checked.
#pragma once

#include <windows.h>

#include "controls/SelfPaintedCheckBox.h"

namespace qrn {

class CIconButton : public CSelfPaintedCheckBox {
 public:
  CIconButton();
  ~CIconButton() override;

  // The glyph painting chooses.
  static int ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed);

 protected:
  void Paint(HDC dc) override;
  // At the control's right edge, vertically centred.
  void DrawImageOn(HDC dc, int index) override;
  int ImageAfterCheck(WPARAM check) const override;
};

}  // namespace qrn
