// What the two self-painted check boxes (CXPCheckBox, CIconButton) share:
// the standard check box keeps and toggles the check state and notifies the
// parent; the derived class paints the whole control in Paint. This part
// keeps the hover and press state, paints on WM_PAINT, repaints after a
// press and a state change, and hands the new check state to OnCheckSet.
#pragma once

#include <windows.h>

#include "controls/SubclassedControl.h"

namespace qrn {

class CSelfPaintedCheckBox : public CSubclassedControl {
 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Paints the whole control into `dc`.
  virtual void Paint(HDC dc) = 0;
  // After BM_SETCHECK: the standard control drew its own look for the new
  // state; the derived class puts its picture back at once.
  virtual void OnCheckSet(WPARAM check) = 0;

  BOOL m_bHover = FALSE;
  BOOL m_bTracking = FALSE;
  BOOL m_bPressed = FALSE;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace qrn
