#include "controls/XPCheckBox.h"

#include "controls/SkinBitmap.h"

namespace qrn {
namespace {

constexpr int kFrameWidth = 20;
constexpr int kFrameHeight = 17;

}  // namespace

CXPCheckBox::CXPCheckBox() : CSelfPaintedCheckBox(0) {}

CXPCheckBox::~CXPCheckBox() = default;

void CXPCheckBox::DrawImageOn(HDC dc, int index) {
  RECT window{};
  ::GetWindowRect(m_hWnd, &window);
  const int height = window.bottom - window.top;
  DrawSkinBitmap(dc, 0, (height - kFrameHeight) / 2, kFrameWidth, kFrameHeight, m_bitmap.get(), kFrameWidth * index, 0);
}

int CXPCheckBox::ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed) {
  const int base = checked ? 4 : 0;
  if (disabled) return base + 3;
  if (pressed) return base + 2;
  if (hover) return base + 1;
  return base;
}

void CXPCheckBox::Paint(HDC dc) {
  const BOOL checked = GetCheck() == BST_CHECKED;
  const BOOL disabled = (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_DISABLED) != 0;
  m_nImage = ImageFor(checked, disabled, m_bHover, m_bPressed);
  // Through the painting DC: under Wine a second DC of the control, taken
  // while it paints, sometimes loses what it draws.
  DrawImageOn(dc, m_nImage);

  wchar_t caption[260] = {};
  ::GetWindowTextW(m_hWnd, caption, 260);
  RECT text{};
  ::GetClientRect(m_hWnd, &text);
  text.left = kFrameWidth;
  text.top -= 3;
  const int saved = ::SaveDC(dc);
  UniqueHBrush back(::CreateSolidBrush(m_clrBack));
  ::FillRect(dc, &text, back.get());
  ::SetTextColor(dc, disabled ? RGB(191, 191, 191) : RGB(102, 102, 102));
  ::SetBkMode(dc, TRANSPARENT);
  ::SelectObject(dc, m_font.get());
  ::DrawTextW(dc, caption, -1, &text, DT_VCENTER | DT_SINGLELINE);
  ::RestoreDC(dc, saved);
}

int CXPCheckBox::ImageAfterCheck(WPARAM check) const {
  const BOOL disabled = (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_DISABLED) != 0;
  return (check == BST_CHECKED ? 4 : 0) + (disabled ? 3 : 0);
}

}  // namespace qrn
