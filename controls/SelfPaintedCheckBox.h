// What the two self-painted check boxes (CXPCheckBox, CIconButton) share:
// the standard check box keeps and toggles the check state and notifies the
// parent; the derived class paints the whole control in Paint. This part
// keeps the hover and press state, the caption font, the picture strip and
// the index of the picture shown, paints on WM_PAINT, repaints after a press
// and a state change, and puts the right picture back after BM_SETCHECK.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SubclassedControl.h"

namespace qrn {

class CSelfPaintedCheckBox : public CSubclassedControl {
 public:
  // Loads the picture strip; returns the load result.
  BOOL LoadSkinBitmap(UINT id);
  // Draws picture `index` of the strip straight onto the control.
  void DrawImage(int index);
  int CurrentImage() const { return m_nImage; }

 protected:
  explicit CSelfPaintedCheckBox(int firstImage);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Paints the whole control into `dc`.
  virtual void Paint(HDC dc) = 0;
  // Draws picture `index` of the strip into `dc`, where the control shows it.
  virtual void DrawImageOn(HDC dc, int index) = 0;
  // The picture after BM_SETCHECK: the standard control drew its own look
  // for the new state, and this one goes back at once.
  virtual int ImageAfterCheck(WPARAM check) const = 0;

  BOOL m_bHover = FALSE;
  BOOL m_bTracking = FALSE;
  BOOL m_bPressed = FALSE;
  UniqueHFont m_font;
  UniqueHBitmap m_bitmap;
  int m_nImage;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace qrn
