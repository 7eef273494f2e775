// An owner-drawn push button whose face is one frame of a four-frame strip
// (normal, hover, pushed, disabled; frame width = strip width / 4) with its
// caption centred on top. The button is sized to one frame by its owner.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SubclassedControl.h"

namespace qrn {

class CBmpButton : public CSubclassedControl {
 public:
  CBmpButton();
  ~CBmpButton() override;

  // Loads the face strip (a bitmap resource); returns the load result.
  BOOL LoadSkinBitmap(UINT id);
  // 90: the skin's 18-pixel font; anything else: a font of size/10 points.
  void SetFontSize(int size);
  // Caption colour when enabled; no repaint.
  void SetCaptionColor(COLORREF colour) { m_clrText = colour; }

  void DrawItem(const DRAWITEMSTRUCT& item) override;

  // The frame DrawItem chooses for an item state and hover flag.
  static int FrameFor(UINT itemState, BOOL hover);

 protected:
  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  BOOL m_bHover = FALSE;
  BOOL m_bTracking = FALSE;
  UniqueHBitmap m_bitmap;
  BITMAP m_bmInfo{};
  UniqueHFont m_font;
  COLORREF m_clrText = RGB(255, 255, 255);
};

}  // namespace qrn
