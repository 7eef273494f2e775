#include "controls/DlgBase.h"

#include <cwchar>

#include "base/BuildConstants.h"
#include "controls/SkinBitmap.h"
#include "controls/SkinFont.h"

namespace qrn {
namespace {

constexpr int kSpaceLineTop = 380;
constexpr int kSpaceLineBottom = 400;
constexpr int kTrackLeft = 20;
constexpr int kTrackRight = 530;

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  UniqueHBrush brush(::CreateSolidBrush(colour));
  if (brush) ::FillRect(dc, &rect, brush.get());
}

void TextAt(HDC dc, int x, int y, const std::wstring& text) {
  ::TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

CDlgBase::CDlgBase(UINT templateId, HWND parent, CStatusLine& status)
    : CWinDialog(templateId, parent),
      m_penLine(::CreatePen(PS_SOLID, 1, RGB(230, 230, 230))),
      m_penBorder(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0))),
      m_status(status) {}

CDlgBase::~CDlgBase() = default;

BOOL CDlgBase::OnInitDialog() {
  CWinDialog::OnInitDialog();
  m_statusWindow = m_hWnd;
  m_bmpBack = LoadSkinBitmap(IDB_SKIN_BANNER);
  if (!m_bmpBack || ::GetObjectW(m_bmpBack.get(), sizeof m_bmBack, &m_bmBack) == 0) m_bmBack = BITMAP{};
  m_fontText = CreateSkinFont(18);
  m_fontBig = CreateSkinFont(45);
  m_bmpPathFrame = LoadSkinBitmap(IDB_SKIN_PATH_FRAME);
  m_bmpQrCode = LoadSkinBitmap(IDB_SKIN_QR_CODE);
  m_bmpDone = LoadSkinBitmap(IDB_SKIN_DONE);
  return TRUE;
}

void CDlgBase::SetTitle(const std::wstring& title) { m_strTitle = title; }

void CDlgBase::SetSpaceTextColor(COLORREF colour) {
  m_clrSpaceText = colour;
  if (m_hWnd == nullptr) return;
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  const RECT line{0, kSpaceLineTop, client.right, kSpaceLineBottom};
  ::InvalidateRect(m_hWnd, &line, TRUE);
}

void CDlgBase::SetProgress(int percent) {
  m_nPercent = percent;
  if (m_hWnd == nullptr) return;
  const int h = BannerHeight();
  const RECT number{450, h + 20, 530, h + 40};
  const RECT bar{kTrackLeft, h + 46, kTrackRight, h + 52};
  ::InvalidateRect(m_hWnd, &number, TRUE);
  ::InvalidateRect(m_hWnd, &bar, TRUE);
}

void CDlgBase::SetStatusText(const std::wstring& text) {
  m_status.Store(text);
  InvalidateStatusStrip();
}

void CDlgBase::InvalidateStatusStrip() const {
  HWND window = m_statusWindow;
  if (window == nullptr) return;
  const int h = BannerHeight();
  const RECT strip{20, h + 20, 450, h + 40};
  ::InvalidateRect(window, &strip, TRUE);
}

void CDlgBase::ResizeClientHeight(int height, RECT* client) {
  if (client->bottom - client->top == height) return;
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kDlgWidth, height, SWP_NOMOVE | SWP_NOZORDER);
  ::GetClientRect(m_hWnd, client);
}

bool CDlgBase::OnPaint() {
  UniquePaintDc paint(m_hWnd);
  if (paint.get() == nullptr) return true;
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  // The height follows the state even if something resized the window.
  if (m_nDlgState == 2) ResizeClientHeight(kFinishedHeight, &client);
  if (m_nDlgState == 1) ResizeClientHeight(kInstallingHeight, &client);

  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  UniqueHdc memory(::CreateCompatibleDC(paint.get()));
  UniqueHBitmap canvas(::CreateCompatibleBitmap(paint.get(), width, height));
  if (!memory || !canvas) return true;
  SelectObjectScope select(memory.get(), canvas.get());
  DrawDialog(memory.get(), client);
  ::BitBlt(paint.get(), 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
  return true;
}

void CDlgBase::DrawDialog(HDC dc, const RECT& client) {
  const int h = BannerHeight();
  DrawSkinBitmap(dc, 0, 0, m_bmBack.bmWidth, m_bmBack.bmHeight, m_bmpBack.get());

  const int saved = ::SaveDC(dc);
  ::SelectObject(dc, m_fontText.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(255, 255, 255));
  TextAt(dc, 8, 8, m_strTitle);

  switch (m_nDlgState) {
    case 0:
      DrawWelcome(dc, client, h);
      break;
    case 1:
      DrawInstalling(dc, client, h);
      break;
    case 2:
      DrawFinished(dc, client, h);
      break;
    default:
      break;
  }

  ::SelectObject(dc, m_penBorder.get());
  ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
  ::RoundRect(dc, client.left, client.top, client.right, client.bottom, 3, 3);
  ::RestoreDC(dc, saved);
}

void CDlgBase::DrawWelcome(HDC dc, const RECT& client, int h) {
  FillSolid(dc, RECT{0, h, client.right, client.bottom}, RGB(255, 255, 255));
  ::SelectObject(dc, m_penLine.get());
  ::MoveToEx(dc, 0, 321, nullptr);
  ::LineTo(dc, 550, 321);
  ::SetTextColor(dc, RGB(0, 0, 0));
  TextAt(dc, 10, 344, L"安装位置：");
  DrawSkinBitmap(dc, 72, 341, 380, 26, m_bmpPathFrame.get());
  wchar_t label[64];
  std::swprintf(label, sizeof label / sizeof label[0], L"所需空间：%dMB    可用空间：", kRequiredSpaceMB);
  TextAt(dc, 10, kSpaceLineTop, label);
  ::SetTextColor(dc, m_clrSpaceText);
  TextAt(dc, 180, kSpaceLineTop, m_strSpaceText);
  ::SelectObject(dc, m_fontBig.get());
  ::SetTextColor(dc, RGB(255, 255, 255));
  TextAt(dc, 242, 80, L"安装");
}

void CDlgBase::DrawInstalling(HDC dc, const RECT& client, int h) {
  FillSolid(dc, RECT{0, h, client.right, h + 80}, RGB(255, 255, 255));
  ::SetTextColor(dc, RGB(0, 0, 0));
  std::wstring status = m_status.Latest();
  if (status.empty()) status = L"正在安装...";
  RECT statusRect{20, h + 20, 450, h + 40};
  // DT_NOPREFIX: the status names files, and an '&' in a name must show as itself.
  ::DrawTextW(dc, status.c_str(), static_cast<int>(status.size()), &statusRect, DT_BOTTOM | DT_NOPREFIX);
  wchar_t percent[16];
  std::swprintf(percent, sizeof percent / sizeof percent[0], L"%d%%", m_nPercent);
  RECT percentRect{450, h + 20, 530, h + 40};
  ::DrawTextW(dc, percent, -1, &percentRect, DT_RIGHT | DT_BOTTOM);
  FillSolid(dc, RECT{kTrackLeft, h + 46, kTrackRight, h + 52}, RGB(204, 204, 204));
  if (m_nPercent > 0) {
    const int trackWidth = kTrackRight - kTrackLeft;
    int right = kTrackLeft + static_cast<int>(trackWidth * m_nPercent / 100.0);
    if (right > kTrackRight) right = kTrackRight;
    FillSolid(dc, RECT{kTrackLeft, h + 46, right, h + 52}, RGB(0, 160, 233));
  }
  ::SelectObject(dc, m_fontBig.get());
  ::SetTextColor(dc, RGB(255, 255, 255));
  TextAt(dc, 212, 80, L"安装中...");
}

void CDlgBase::DrawFinished(HDC dc, const RECT& client, int h) {
  FillSolid(dc, RECT{0, h, client.right, client.bottom}, RGB(255, 255, 255));
  DrawSkinBitmap(dc, 435, 220, 70, 70, m_bmpQrCode.get());
  ::SetTextColor(dc, RGB(0, 0, 0));
  RECT caption{435, 290, 505, 310};
  ::DrawTextW(dc, L"手机版下载", -1, &caption, DT_CENTER | DT_SINGLELINE);
  DrawSkinBitmap(dc, 182, 86, 37, 37, m_bmpDone.get());
  ::SelectObject(dc, m_fontBig.get());
  ::SetTextColor(dc, RGB(255, 255, 255));
  TextAt(dc, 233, 80, L"安装完成");
}

}  // namespace qrn
