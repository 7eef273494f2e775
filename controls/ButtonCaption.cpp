#include "controls/ButtonCaption.h"

namespace qrn {

void DrawButtonCaption(HWND button, const DRAWITEMSTRUCT& item, HFONT font, COLORREF color) {
  wchar_t caption[260] = {};
  ::GetWindowTextW(button, caption, 260);
  HDC dc = item.hDC;
  const int saved = ::SaveDC(dc);
  RECT text = item.rcItem;
  ::InflateRect(&text, -::GetSystemMetrics(SM_CXEDGE), -::GetSystemMetrics(SM_CYEDGE));
  ::SelectObject(dc, font);
  if (item.itemState & ODS_SELECTED) {
    text.left += 2;
    text.top += 1;
  }
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  ::DrawTextW(dc, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::RestoreDC(dc, saved);
}

}  // namespace qrn
