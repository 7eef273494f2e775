// The skinned dialog base and controls in a real dialog (the installer's
// template 102) run on a thread of its own, checked from the test thread:
// what the setters invalidate, what the layouts paint, and which skin frame
// each control shows in each state. Expected pictures come from the same
// bitmap resources the controls draw from.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "controls/BmpButton.h"
#include "controls/DlgBase.h"
#include "controls/IconButton.h"
#include "controls/LinkBtn.h"
#include "controls/XPCheckBox.h"
#include "tools/ui-driver/UiDriver.h"

namespace qrn {
namespace {

constexpr UINT kRunOnDialog = WM_APP + 1;
constexpr int kBanner = 195;

class TestStatusLine final : public CStatusLine {
 public:
  void Store(const std::wstring& text) override {
    std::lock_guard<std::mutex> hold(lock_);
    text_ = text;
  }
  std::wstring Latest() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return text_;
  }

 private:
  mutable std::mutex lock_;
  std::wstring text_;
};

class TestButton : public CBmpButton {
 public:
  LOGFONTW Font() const {
    LOGFONTW font{};
    ::GetObjectW(m_font.get(), sizeof font, &font);
    return font;
  }
};

// The installer's template with the base and four skinned controls bound.
class HostDlg : public CDlgBase {
 public:
  explicit HostDlg(CStatusLine& status) : CDlgBase(102, nullptr, status) {}

  void SetState(int state) { m_nDlgState = state; }
  void SetSpaceText(const std::wstring& text) { m_strSpaceText = text; }

  TestButton start;
  CXPCheckBox agree;
  CIconButton custom;
  CLinkBtn link;

 protected:
  void DoDataExchange() override {
    start.SubclassDlgItem(1006, m_hWnd);
    agree.SubclassDlgItem(1001, m_hWnd);
    custom.SubclassDlgItem(1009, m_hWnd);
    link.SubclassDlgItem(1002, m_hWnd);
  }
  BOOL OnInitDialog() override {
    CDlgBase::OnInitDialog();
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 550, 320, SWP_NOMOVE | SWP_NOZORDER);
    start.MoveWindow(184, 232, 182, 46);
    start.LoadSkinBitmap(130);
    agree.MoveWindow(10, 292, 55, 22);
    agree.LoadSkinBitmap(141);
    link.MoveWindow(60, 292, 80, 22);
    custom.MoveWindow(465, 292, 75, 22);
    custom.LoadSkinBitmap(142);
    for (int id : {1007, 1010, 1003, 1004, 1005, 1000}) ::ShowWindow(::GetDlgItem(m_hWnd, id), SW_HIDE);
    return TRUE;
  }
  bool OnEraseBkgnd(HDC) override { return true; }
  bool OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT*) override {
    if (message == kRunOnDialog) (*reinterpret_cast<std::function<void()>*>(lParam))();
    return message == kRunOnDialog;
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::MoveMouseAway();
    thread_ = std::thread([this] {
      HostDlg dialog(status_);
      dialog_ = &dialog;
      dialog.DoModal();
      dialog_ = nullptr;
    });
    for (int i = 0; i < 200 && (dialog_ == nullptr || dialog_.load()->GetSafeHwnd() == nullptr); ++i) ::Sleep(50);
    ASSERT_NE(dialog_.load(), nullptr);
    window_ = dialog_.load()->GetSafeHwnd();
    ASSERT_NE(window_, nullptr);
    ui::Sync(window_);
  }
  void TearDown() override {
    if (window_ != nullptr) OnDialog([this] { dialog_.load()->EndDialog(IDCANCEL); });
    if (thread_.joinable()) thread_.join();
  }

  // Runs `work` on the dialog's thread and waits for it.
  void OnDialog(std::function<void()> work) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window_, kRunOnDialog, 0, reinterpret_cast<LPARAM>(&work), SMTO_NORMAL, 10000, &result);
  }
  HostDlg& dialog() { return *dialog_.load(); }

  // The part of the window waiting to be painted, as one bounding
  // rectangle. On the dialog's thread.
  RECT UpdateBox() {
    RECT box{};
    UniqueGdi<HRGN> region(::CreateRectRgn(0, 0, 0, 0));
    if (::GetUpdateRgn(window_, region.get(), FALSE) != NULLREGION) ::GetRgnBox(region.get(), &box);
    return box;
  }
  // The installing page without the welcome controls over it.
  void HideControls() {
    OnDialog([this] {
      for (int id : {1006, 1001, 1009, 1002}) ::ShowWindow(::GetDlgItem(window_, id), SW_HIDE);
    });
  }
  void PaintAll() {
    OnDialog([this] { ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW); });
  }
  void ValidateAll() {
    OnDialog([this] { ::RedrawWindow(window_, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW); });
  }
  ui::Image Picture(HWND window) {
    ui::Image image;
    EXPECT_TRUE(ui::Capture(window, &image));
    return image;
  }
  // Pixel (x, y) of a skin bitmap of this executable.
  static COLORREF Skin(UINT id, int x, int y) {
    static std::map<UINT, ui::Image> loaded;
    auto found = loaded.find(id);
    if (found == loaded.end()) {
      ui::Image image;
      HBITMAP bitmap = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
      BITMAP size{};
      ::GetObjectW(bitmap, sizeof size, &size);
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = size.bmWidth;
      info.bmiHeader.biHeight = -size.bmHeight;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      image.width = size.bmWidth;
      image.height = size.bmHeight;
      image.pixels.resize(static_cast<size_t>(size.bmWidth) * static_cast<size_t>(size.bmHeight));
      HDC screen = ::GetDC(nullptr);
      ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.bmHeight), image.pixels.data(), &info, DIB_RGB_COLORS);
      ::ReleaseDC(nullptr, screen);
      ::DeleteObject(bitmap);
      for (uint32_t& p : image.pixels) p &= 0x00FFFFFF;
      found = loaded.emplace(id, std::move(image)).first;
    }
    return found->second.At(x, y);
  }

  TestStatusLine status_;
  std::atomic<HostDlg*> dialog_{nullptr};
  HWND window_ = nullptr;
  std::thread thread_;
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

// Each setter repaints only the strip that shows its value; the status
// setter does so from another thread.
TEST_F(ControlsTest, SettersInvalidateOnlyTheirStrip) {
  OnDialog([this] { dialog().SetState(1); });
  PaintAll();
  ASSERT_EQ(ui::WindowSize(window_).cy, 275);

  // Each check runs whole on the dialog's thread, which cannot paint meanwhile.
  RECT progress{};
  OnDialog([&] {
    ::ValidateRect(window_, nullptr);
    dialog().SetProgress(40);
    progress = UpdateBox();
  });
  EXPECT_TRUE(SameRect(progress, RECT{20, kBanner + 20, 530, kBanner + 52})) << Show(progress);

  RECT statusStrip{};
  OnDialog([&] {
    ::ValidateRect(window_, nullptr);
    std::thread installer([this] { dialog().SetStatusText(L"正在解压文件：QRN.exe"); });
    installer.join();
    statusStrip = UpdateBox();
  });
  EXPECT_TRUE(SameRect(statusStrip, RECT{20, kBanner + 20, 450, kBanner + 40})) << Show(statusStrip);
  EXPECT_EQ(status_.Latest(), L"正在解压文件：QRN.exe");

  RECT space{};
  OnDialog([&] {
    dialog().SetState(0);
    ::SetWindowPos(window_, nullptr, 0, 0, 550, 410, SWP_NOMOVE | SWP_NOZORDER);
    ::ValidateRect(window_, nullptr);
    dialog().SetSpaceTextColor(RGB(255, 0, 0));
    space = UpdateBox();
  });
  EXPECT_EQ(space.left, 0);
  EXPECT_EQ(space.right, 550);
  EXPECT_LE(space.top, 380);
  EXPECT_GE(space.bottom, 398);
  EXPECT_LE(space.bottom - space.top, 30) << "more than the space line: " << Show(space);
}

// The bar: grey track only at 0, blue from 20 up to 20 + 510 * p / 100, full
// and no further at 100 and above.
TEST_F(ControlsTest, TheProgressBarFollowsThePercentage) {
  struct Case {
    int percent;
    int blueRight;  // first x that is not blue
  };
  const Case cases[] = {{0, 20}, {1, 25}, {50, 275}, {100, 530}, {120, 530}};
  HideControls();
  OnDialog([this] { dialog().SetState(1); });
  for (const Case& c : cases) {
    OnDialog([&] { dialog().SetProgress(c.percent); });
    PaintAll();
    const ui::Image image = Picture(window_);
    const int y = kBanner + 49;
    int right = 20;
    while (right < 550 && image.At(right, y) == RGB(0, 160, 233)) ++right;
    EXPECT_EQ(right, c.blueRight) << c.percent << "%";
    if (c.blueRight < 530) {
      EXPECT_EQ(image.At(c.blueRight, y), RGB(204, 204, 204)) << c.percent << "%: the track";
    }
    EXPECT_NE(image.At(531, y), RGB(0, 160, 233)) << c.percent << "%: the bar ran past the track";
  }
}

bool StripHasInk(const ui::Image& image) {
  for (int y = kBanner + 20; y < kBanner + 40; ++y) {
    for (int x = 20; x < 450; ++x) {
      if (image.At(x, y) != RGB(255, 255, 255)) return true;
    }
  }
  return false;
}

TEST_F(ControlsTest, AnEmptyStatusReadsInstallingAndTheHeightFollowsTheState) {
  HideControls();
  OnDialog([this] { dialog().SetState(1); });
  PaintAll();
  EXPECT_EQ(ui::WindowSize(window_).cy, 275) << "state 1 is 275 high";
  EXPECT_TRUE(StripHasInk(Picture(window_))) << "an empty status must read 正在安装...";
  dialog().SetStatusText(L" ");
  PaintAll();
  EXPECT_FALSE(StripHasInk(Picture(window_))) << "a blank status is shown as it is";

  OnDialog([this] { dialog().SetState(2); });
  PaintAll();
  EXPECT_EQ(ui::WindowSize(window_).cy, 320) << "state 2 is 320 high";
  const ui::Image finished = Picture(window_);
  EXPECT_EQ(finished.At(435 + 1, 220 + 1), Skin(145, 1, 1)) << "the QR code";
  EXPECT_EQ(finished.At(182 + 2, 86 + 2), Skin(150, 2, 2)) << "the tick";
}

// Many status texts from another thread while the window repaints: the
// hand-over neither tears a text nor waits on painting.
TEST_F(ControlsTest, StatusTextsFromAnotherThreadWhilePainting) {
  OnDialog([this] { dialog().SetState(1); });
  std::atomic<bool> stop{false};
  std::thread painter([&] {
    while (!stop) {
      PaintAll();
    }
  });
  for (int i = 0; i < 5000; ++i) dialog().SetStatusText(L"正在解压文件：" + std::to_wstring(i) + L".dat");
  stop = true;
  painter.join();
  EXPECT_EQ(status_.Latest(), L"正在解压文件：4999.dat");
}

TEST_F(ControlsTest, ImageButtonFramesFollowTheItemState) {
  HWND start = dialog().start.GetSafeHwnd();
  auto frame = [](int index) { return Skin(130, 182 * index + 6, 23); };
  auto shown = [&]() { return Picture(start).At(6, 23); };
  PaintAll();
  EXPECT_EQ(shown(), frame(0)) << "normal";
  OnDialog([&] { ::SendMessageW(start, BM_SETSTATE, TRUE, 0); });
  PaintAll();
  EXPECT_EQ(shown(), frame(2)) << "pushed";
  OnDialog([&] { ::SendMessageW(start, BM_SETSTATE, FALSE, 0); });
  OnDialog([&] { ::EnableWindow(start, FALSE); });
  PaintAll();
  EXPECT_EQ(shown(), frame(3)) << "disabled";
}

// The pushed caption moves right and down (its rectangle's left edge +2 and
// top edge +1, centred).
TEST_F(ControlsTest, APushedCaptionMovesRightAndDown) {
  HWND start = dialog().start.GetSafeHwnd();
  ::SetWindowTextW(start, L"开始安装");
  auto inkBox = [&](int frame) {
    const ui::Image image = Picture(start);
    RECT box{1000, 1000, -1, -1};
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (image.At(x, y) == Skin(130, 182 * frame + x, y)) continue;
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x);
        box.bottom = std::max<LONG>(box.bottom, y);
      }
    }
    return box;
  };
  PaintAll();
  const RECT normal = inkBox(0);
  OnDialog([&] { ::SendMessageW(start, BM_SETSTATE, TRUE, 0); });
  PaintAll();
  const RECT pushed = inkBox(2);
  ASSERT_LT(normal.left, normal.right) << "no caption found";
  EXPECT_GT(pushed.left, normal.left) << Show(normal) << " -> " << Show(pushed);
  EXPECT_GE(pushed.top, normal.top) << Show(normal) << " -> " << Show(pushed);
}

TEST_F(ControlsTest, HoverShowsTheHoverFrameUntilTheMouseLeaves) {
  HWND start = dialog().start.GetSafeHwnd();
  auto frame = [](int index) { return Skin(130, 182 * index + 6, 23); };
  auto waitFor = [&](COLORREF wanted) {
    for (int i = 0; i < 40; ++i) {
      if (Picture(start).At(6, 23) == wanted) return true;
      ::Sleep(50);
    }
    return false;
  };
  ui::Hover(start);
  EXPECT_TRUE(waitFor(frame(1))) << "hovered";
  ui::MoveMouseAway();
  EXPECT_TRUE(waitFor(frame(0))) << "left";
  ui::Hover(start);
  EXPECT_TRUE(waitFor(frame(1))) << "hovered again";
  ui::MoveMouseAway();
}

TEST_F(ControlsTest, SettingACheckInCodeShowsItsFrameAtOnce) {
  struct Case {
    const char* name;
    bool disabled;
    int check;
    int boxFrame;  // of strip 141
    int glyph;     // of strip 142
  };
  const Case cases[] = {
      {"checked", false, BST_CHECKED, 4, 3},
      {"unchecked", false, BST_UNCHECKED, 0, 1},
      {"disabled, checked", true, BST_CHECKED, 7, 3},
      {"disabled, unchecked", true, BST_UNCHECKED, 3, 1},
  };
  HWND agree = dialog().agree.GetSafeHwnd();
  HWND custom = dialog().custom.GetSafeHwnd();
  // A caption short enough to leave the glyph alone.
  ::SetWindowTextW(custom, L"自定");
  PaintAll();
  for (const Case& c : cases) {
    // The check is set with nothing left to paint: what shows is drawn by the setter.
    OnDialog([&] {
      ::EnableWindow(agree, !c.disabled);
      ::EnableWindow(custom, !c.disabled);
      ::RedrawWindow(window_, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
      ::SendMessageW(agree, BM_SETCHECK, static_cast<WPARAM>(c.check), 0);
      ::SendMessageW(custom, BM_SETCHECK, static_cast<WPARAM>(c.check), 0);
    });
    EXPECT_EQ(dialog().agree.CurrentImage(), c.boxFrame) << c.name;
    EXPECT_EQ(dialog().custom.CurrentImage(), c.glyph) << c.name;
    ui::Image box;
    ASSERT_TRUE(ui::Capture(agree, &box, /*repaint=*/false));
    EXPECT_EQ(box.At(2, 2 + 8), Skin(141, 20 * c.boxFrame + 2, 8)) << c.name << ": the box";
    ui::Image toggle;
    ASSERT_TRUE(ui::Capture(custom, &toggle, /*repaint=*/false));
    EXPECT_EQ(toggle.At(75 - 13 + 6, 4 + 4), Skin(142, 13 * c.glyph + 6, 4)) << c.name << ": the glyph";
  }
}

TEST_F(ControlsTest, TheLinkShowsTheHandAnywhereOnIt) {
  HWND link = dialog().link.GetSafeHwnd();
  HCURSOR shown = nullptr;
  for (LPARAM hit : {static_cast<LPARAM>(HTCLIENT), static_cast<LPARAM>(HTBORDER)}) {
    OnDialog([&] {
      ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
      ::SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(hit, WM_MOUSEMOVE));
      shown = ::GetCursor();
    });
    EXPECT_EQ(shown, ::LoadCursorW(nullptr, IDC_HAND)) << "hit-test code " << hit;
  }
  EXPECT_EQ(CLinkBtn::CaptionColorFor(ODS_DISABLED, TRUE), RGB(161, 161, 161)) << "disabled wins over hovered";
}

TEST_F(ControlsTest, FontSize90IsTheEighteenPixelFontNotNinePoints) {
  OnDialog([this] { dialog().start.SetFontSize(90); });
  EXPECT_EQ(dialog().start.Font().lfHeight, 18);
  EXPECT_EQ(std::wstring(dialog().start.Font().lfFaceName), L"微软雅黑");
  OnDialog([this] { dialog().start.SetFontSize(120); });
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(dialog().start.Font().lfHeight, -::MulDiv(dpi, 120, 720)) << "12 points";
}

}  // namespace
}  // namespace qrn
