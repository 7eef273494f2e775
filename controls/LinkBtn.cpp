#include "controls/LinkBtn.h"

#include "controls/ButtonCaption.h"
#include "controls/MouseTracking.h"
#include "controls/SkinFont.h"

namespace qrn {

CLinkBtn::CLinkBtn() : m_font(CreateSkinFont(18)) {}

CLinkBtn::~CLinkBtn() = default;

void CLinkBtn::PreSubclassWindow() {
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | BS_OWNERDRAW);
}

COLORREF CLinkBtn::CaptionColorFor(UINT itemState, BOOL hover) {
  if (itemState & ODS_DISABLED) return RGB(161, 161, 161);
  return hover ? RGB(120, 221, 255) : RGB(57, 142, 202);
}

void CLinkBtn::DrawItem(const DRAWITEMSTRUCT& item) {
  UniqueHBrush white(::CreateSolidBrush(RGB(255, 255, 255)));
  ::FillRect(item.hDC, &item.rcItem, white.get());
  DrawButtonCaption(m_hWnd, item, m_font.get(), CaptionColorFor(item.itemState, m_bHover));
}

LRESULT CLinkBtn::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleHoverMessage(m_hWnd, message, &m_bHover, &m_bTracking, FALSE)) return 0;
  switch (message) {
    case WM_SETCURSOR:
      // Whatever the hit-test code: the hand shows over the edges too.
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    default:
      break;
  }
  return DefWindowProc(message, wParam, lParam);
}

}  // namespace qrn
