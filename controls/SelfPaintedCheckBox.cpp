#include "controls/SelfPaintedCheckBox.h"

#include "controls/MouseTracking.h"
#include "controls/SkinBitmap.h"
#include "controls/SkinFont.h"

namespace qrn {

CSelfPaintedCheckBox::CSelfPaintedCheckBox(int firstImage) : m_font(CreateSkinFont(18)), m_nImage(firstImage) {}

BOOL CSelfPaintedCheckBox::LoadSkinBitmap(UINT id) {
  m_bitmap = qrn::LoadSkinBitmap(id);
  return m_bitmap ? TRUE : FALSE;
}

void CSelfPaintedCheckBox::DrawImage(int index) {
  UniqueWindowDc dc(m_hWnd);
  if (dc) DrawImageOn(dc.get(), index);
}

LRESULT CSelfPaintedCheckBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleHoverMessage(m_hWnd, message, &m_bHover, &m_bTracking, TRUE)) return 0;
  switch (message) {
    case WM_PAINT: {
      UniquePaintDc paint(m_hWnd);
      if (paint.get() != nullptr) Paint(paint.get());
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
      m_bPressed = message == WM_LBUTTONDOWN;
      // The standard check box toggles on button-up and notifies its parent in here.
      const LRESULT result = DefWindowProc(message, wParam, lParam);
      ::InvalidateRect(m_hWnd, nullptr, TRUE);
      return result;
    }
    default:
      break;
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CSelfPaintedCheckBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = HandleMessage(message, wParam, lParam);
  if (message == BM_SETCHECK) {
    m_nImage = ImageAfterCheck(wParam);
    DrawImage(m_nImage);
  } else if (message == BM_SETSTATE) {
    UniqueWindowDc dc(m_hWnd);
    if (dc) Paint(dc.get());
  }
  return result;
}

}  // namespace qrn
