#include "standins/product/ProductWindow.h"

#include <cwchar>

#include "base/Owners.h"

namespace qrn::product {
namespace {

constexpr wchar_t kClassName[] = L"QuorrinStandInProductWindow";
constexpr UINT_PTR kCloseTimer = 1;
constexpr int kLineHeight = 24;
constexpr int kMargin = 16;

struct WindowData {
  std::vector<std::wstring> lines;
};

void Paint(HWND window, const WindowData& data) {
  const UniquePaintDc paint(window);
  HDC dc = paint.get();
  if (dc == nullptr) return;
  const SelectObjectScope font(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  RECT client{};
  ::GetClientRect(window, &client);
  int top = kMargin;
  for (const std::wstring& line : data.lines) {
    RECT row{kMargin + 40, top, client.right - kMargin, top + kLineHeight};
    ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &row,
                DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    top += kLineHeight;
  }
  HICON icon = reinterpret_cast<HICON>(::GetClassLongPtrW(window, GCLP_HICON));
  if (icon != nullptr) ::DrawIconEx(dc, kMargin, kMargin, icon, 32, 32, 0, nullptr, DI_NORMAL);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* data = reinterpret_cast<WindowData*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_PAINT:
      if (data != nullptr) {
        Paint(window, *data);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wParam == kCloseTimer) {
        ::DestroyWindow(window);
        return 0;
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

UINT CloseAfterMilliseconds() {
  wchar_t text[32] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"QRN_PRODUCT_CLOSE_AFTER", text, 32);
  if (n == 0 || n >= 32) return 0;
  return static_cast<UINT>(std::wcstoul(text, nullptr, 10));
}

}  // namespace

int RunProductWindow(HINSTANCE instance, const std::wstring& title, const std::vector<std::wstring>& lines) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kProductIconId));
  windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  if (::RegisterClassExW(&windowClass) == 0) return 1;

  WindowData data{lines};
  const int height = kMargin * 2 + kLineHeight * static_cast<int>(lines.size()) + 40;
  HWND window =
      ::CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                        CW_USEDEFAULT, CW_USEDEFAULT, 520, height, nullptr, nullptr, instance, &data);
  if (window == nullptr) return 1;
  const UINT closeAfter = CloseAfterMilliseconds();
  if (closeAfter > 0) ::SetTimer(window, kCloseTimer, closeAfter, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);

  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace qrn::product
