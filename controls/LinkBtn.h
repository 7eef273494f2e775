// An owner-drawn push button that looks like a hyperlink: its caption on
// white in link blue, lighter under the mouse, grey when disabled, with the
// hand cursor over the whole control. No underline is drawn.
#pragma once

#include <windows.h>

#include "base/Owners.h"
#include "controls/SubclassedControl.h"

namespace qrn {

class CLinkBtn : public CSubclassedControl {
 public:
  CLinkBtn();
  ~CLinkBtn() override;

  void DrawItem(const DRAWITEMSTRUCT& item) override;

  // The caption colour DrawItem chooses: disabled first, then hovered.
  static COLORREF CaptionColorFor(UINT itemState, BOOL hover);

 protected:
  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  BOOL m_bHover = FALSE;
  BOOL m_bTracking = FALSE;
  UniqueHFont m_font;
};

}  // namespace qrn
