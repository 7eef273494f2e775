#include "controls/IconButton.h"

#include "controls/SkinBitmap.h"

namespace qrn {
namespace {

constexpr int kGlyph = 13;

}  // namespace

CIconButton::CIconButton() : CSelfPaintedCheckBox(1) {}

CIconButton::~CIconButton() = default;

void CIconButton::DrawImageOn(HDC dc, int index) {
  RECT window{};
  ::GetWindowRect(m_hWnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  DrawSkinBitmap(dc, width - kGlyph, (height - kGlyph) / 2, kGlyph, kGlyph, m_bitmap.get(), kGlyph * index, 0);
}

int CIconButton::ImageFor(BOOL checked, BOOL disabled, BOOL hover, BOOL pressed) {
  if (checked) {
    if (disabled) return 3;
    return hover && !pressed ? 2 : 3;
  }
  if (disabled) return 1;
  return hover && !pressed ? 0 : 1;
}

void CIconButton::Paint(HDC dc) {
  const BOOL checked = GetCheck() == BST_CHECKED;
  const BOOL disabled = (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_DISABLED) != 0;
  m_nImage = ImageFor(checked, disabled, m_bHover, m_bPressed);

  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  UniqueHBrush white(::CreateSolidBrush(RGB(255, 255, 255)));
  ::FillRect(dc, &client, white.get());

  wchar_t caption[260] = {};
  ::GetWindowTextW(m_hWnd, caption, 260);
  const int saved = ::SaveDC(dc);
  ::SetTextColor(dc, disabled ? RGB(191, 191, 191) : RGB(102, 102, 102));
  ::SetBkMode(dc, TRANSPARENT);
  ::SelectObject(dc, m_font.get());
  ::DrawTextW(dc, caption, -1, &client, DT_VCENTER | DT_SINGLELINE);
  ::RestoreDC(dc, saved);
  // The glyph goes on last, through the painting DC: a caption wider than
  // its room (as with a substitute font) must not hide it, and under Wine a
  // second DC of the control, taken while it paints, may lose what it draws.
  DrawImageOn(dc, m_nImage);
}

int CIconButton::ImageAfterCheck(WPARAM check) const { return check == BST_CHECKED ? 3 : 1; }

}  // namespace qrn
