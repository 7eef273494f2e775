#include "controls/BmpButton.h"

#include "controls/ButtonCaption.h"
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
  const int frameWidth = m_bmInfo.bmWidth / 4;
  const int frame = FrameFor(item.itemState, m_bHover);
  DrawSkinBitmap(item.hDC, 0, 0, frameWidth, m_bmInfo.bmHeight, m_bitmap.get(), frame * frameWidth, 0);
  DrawButtonCaption(m_hWnd, item, m_font.get(), (item.itemState & ODS_DISABLED) ? RGB(161, 161, 161) : m_clrText);
}

LRESULT CBmpButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleHoverMessage(m_hWnd, message, &m_bHover, &m_bTracking, FALSE)) return 0;
  return DefWindowProc(message, wParam, lParam);
}

}  // namespace qrn
