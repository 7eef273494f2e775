// A self-painted check box: its box is one 20 x 17 frame of an eight-frame
// strip (0 normal, 1 hovered, 2 pushed, 3 disabled; 4-7 the same checked)
// with its grey caption beside it. The standard control keeps the check
// state; this class only draws it.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SelfPaintedCheckBox.h"

namespace qrn {

class CXPCheckBox : public CSelfPaintedCheckBox {
 public:
  CXPCheckBox();
  ~CXPCheckBox() override;

  // The frame painting chooses; pressing wins over hovering.
  static int ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed);

 protected:
  void Paint(HDC dc) override;
  // At the control's left edge, vertically centred.
  void DrawImageOn(HDC dc, int index) override;
  int ImageAfterCheck(WPARAM check) const override;

  COLORREF m_clrBack = RGB(255, 255, 255);
};

}  // namespace qrn
