#include "controls/BmpButton.h"

#include "controls/MouseTracking.h"
#include "controls/SkinBitmap.h"
#include "controls/SkinFont.h"

namespace qrn {

CBmpButton::CBmpButton() : m_font(CreateSkinFont(23)) {}

CBmpButton::~CBmpButton() = default;

BOOL CBmpButton::LoadSkinBitmap(UINT id) {
  m_bitmap = qrn::LoadSkinBitmap(id);
  m_bmInfo = BITMAP{};
  if (!m_bitmap) return FALSE;
  ::GetObjectW(m_bitmap.get(), sizeof m_bmInfo, &m_bmInfo);
  return TRUE;
}

void CBmpButton::SetFontSize(int size) {
  m_font.reset();
  m_font = size == 90 ? CreateSkinFont(18) : CreateSkinPointFont(size);
}

void CBmpButton::PreSubclassWindow() {
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | BS_OWNERDRAW);
}

int CBmpButton::FrameFor(UINT itemState, BOOL hover) {
  if (itemState & ODS_DISABLED) return 3;
  if (itemState & ODS_SELECTED) return 2;
  return hover ? 1 : 0;
}

void CBmpButton::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const int saved = ::SaveDC(dc);
  wchar_t caption[260] = {};
  ::GetWindowTextW(m_hWnd, caption, 260);

  const int frameWidth = m_bmInfo.bmWidth / 4;
  const int frame = FrameFor(item.itemState, m_bHover);
  DrawSkinBitmap(dc, 0, 0, frameWidth, m_bmInfo.bmHeight, m_bitmap.get(), frame * frameWidth, 0);

  RECT text = item.rcItem;
  ::InflateRect(&text, -::GetSystemMetrics(SM_CXEDGE), -::GetSystemMetrics(SM_CYEDGE));
  ::SelectObject(dc, m_font.get());
  if (item.itemState & ODS_SELECTED) {
    text.left += 2;
    text.top += 1;
  }
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, (item.itemState & ODS_DISABLED) ? RGB(161, 161, 161) : m_clrText);
  ::DrawTextW(dc, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::RestoreDC(dc, saved);
}

LRESULT CBmpButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleHoverMessage(m_hWnd, message, &m_bHover, &m_bTracking, FALSE)) return 0;
  return DefWindowProc(message, wParam, lParam);
}

}  // namespace qrn
