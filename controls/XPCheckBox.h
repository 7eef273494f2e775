// A self-painted check box: its box is one 20 x 17 frame of an eight-frame
// strip (0 normal, 1 hovered, 2 pushed, 3 disabled; 4-7 the same checked)
// with its grey caption beside it. The standard control keeps the check
// state; this class only draws it.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SubclassedControl.h"

namespace qrn {

class CXPCheckBox : public CSubclassedControl {
 public:
  CXPCheckBox();
  ~CXPCheckBox() override;

  // Loads the box strip; returns the load result.
  BOOL LoadSkinBitmap(UINT id);
  // Draws box frame `index` straight onto the control at its left edge,
  // vertically centred.
  void DrawImage(int index);

  // The frame painting chooses; pressing wins over hovering.
  static int ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed);
  int CurrentImage() const { return m_nImage; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  UniqueHBitmap m_bitmap;
  BOOL m_bHover = FALSE;
  BOOL m_bTracking = FALSE;
  BOOL m_bPressed = FALSE;
  int m_nImage = 0;
  UniqueHFont m_font;
  COLORREF m_clrBack = RGB(255, 255, 255);

 private:
  void Paint(HDC dc);
  void DrawImageOn(HDC dc, int index);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace qrn
