// A self-painted check box (the custom-install toggle): its caption on white
// at the left and a 13 x 13 glyph at the right edge, from a strip of four
// glyphs: 0 down dark, 1 down light, 2 up dark, 3 up light. Dark shows the
// hovered, unpressed state; the chevron points up when checked.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SelfPaintedCheckBox.h"

namespace qrn {

class CIconButton : public CSelfPaintedCheckBox {
 public:
  CIconButton();
  ~CIconButton() override;

  // Loads the glyph strip; returns the load result.
  BOOL LoadSkinBitmap(UINT id);
  // Draws glyph `index` straight onto the control, at its right edge,
  // vertically centred.
  void DrawImage(int index);

  // The glyph painting chooses.
  static int ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed);
  int CurrentImage() const { return m_nImage; }

 protected:
  void Paint(HDC dc) override;
  void OnCheckSet(WPARAM check) override;

  UniqueHFont m_font;
  UniqueHBitmap m_bitmap;
  int m_nImage = 1;

 private:
  void DrawImageOn(HDC dc, int index);
};

}  // namespace qrn
