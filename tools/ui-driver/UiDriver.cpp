#include "tools/ui-driver/UiDriver.h"

#include <cstdio>

#include "base/Utf8.h"

namespace qrn::ui {
namespace {

constexpr DWORD kPoll = 50;

struct EnumTop {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<EnumTop*>(context);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == found->pid && ::IsWindowVisible(window)) found->windows.push_back(window);
  return TRUE;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

bool IsMessageBoxLike(HWND window) {
  if (ClassName(window) != L"#32770") return false;
  HWND ok = ::GetDlgItem(window, IDOK);
  HWND cancel = ::GetDlgItem(window, IDCANCEL);
  return (ok != nullptr && ClassName(ok) == L"Button") || (cancel != nullptr && ClassName(cancel) == L"Button");
}

struct EnumText {
  std::wstring best;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
  auto* found = reinterpret_cast<EnumText*>(context);
  if (ClassName(child) != L"Static") return TRUE;
  const std::wstring text = Text(child);
  if (text.size() > found->best.size()) found->best = text;
  return TRUE;
}

}  // namespace

Program::~Program() { Kill(); }

Program Program::Start(const std::wstring& exe, const std::wstring& arguments, std::string* error) {
  Program program;
  std::wstring command = L"\"" + exe + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    if (error != nullptr) *error = "CreateProcess failed, error " + std::to_string(::GetLastError());
    return program;
  }
  UniqueHandle thread(info.hThread);
  program.process_.reset(info.hProcess);
  program.pid_ = info.dwProcessId;
  return program;
}

bool Program::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
  if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode != nullptr) ::GetExitCodeProcess(process_.get(), exitCode);
  return true;
}

void Program::Kill() {
  if (!process_) return;
  if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 10000);
  }
  process_.reset();
}

std::vector<HWND> TopWindows(DWORD pid) {
  EnumTop found{pid, {}};
  ::EnumWindows(&CollectTop, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

HWND WaitForWindow(DWORD pid, const std::wstring& titlePart, DWORD timeoutMs, HWND exclude) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  do {
    for (HWND window : TopWindows(pid)) {
      if (window == exclude) continue;
      if (titlePart.empty() || Text(window).find(titlePart) != std::wstring::npos) return window;
    }
    ::Sleep(kPoll);
  } while (::GetTickCount64() < end);
  return nullptr;
}

HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs, HWND exclude) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  do {
    for (HWND window : TopWindows(pid)) {
      if (window != exclude && IsMessageBoxLike(window)) return window;
    }
    ::Sleep(kPoll);
  } while (::GetTickCount64() < end);
  return nullptr;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (::IsWindow(window) && ::IsWindowVisible(window)) {
    if (::GetTickCount64() >= end) return false;
    ::Sleep(kPoll);
  }
  return true;
}

bool Sync(HWND window, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool SyncPosted(HWND window, int posted) {
  for (int i = 0; i <= posted; ++i) {
    if (!Sync(window)) return false;
    ::Sleep(20);
  }
  return true;
}

HWND Control(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

bool IsInView(HWND control) {
  if (!IsVisible(control)) return false;
  const RECT own = WindowRect(control);
  const RECT top = WindowRect(::GetAncestor(control, GA_ROOT));
  return own.left >= top.left && own.top >= top.top && own.right <= top.right && own.bottom <= top.bottom;
}

bool IsVisible(HWND window) { return window != nullptr && ::IsWindowVisible(window); }

bool IsEnabled(HWND window) { return window != nullptr && ::IsWindowEnabled(window); }

int CheckState(HWND control) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &result)) return -1;
  return static_cast<int>(result);
}

std::wstring Text(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return std::wstring();
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, 5000,
                             &copied)) {
    return std::wstring();
  }
  text.resize(copied);
  return text;
}

RECT WindowRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return rect;
}

SIZE WindowSize(HWND window) {
  const RECT rect = WindowRect(window);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

std::string Click(HWND dialog, int id) {
  HWND control = Control(dialog, id);
  if (control == nullptr) return "no control " + std::to_string(id);
  if (!::IsWindowVisible(control)) return "control " + std::to_string(id) + " is hidden";
  if (!::IsWindowEnabled(control)) return "control " + std::to_string(id) + " is disabled";
  if (!::PostMessageW(control, BM_CLICK, 0, 0)) return "PostMessage failed";
  SyncPosted(dialog, 1);
  return std::string();
}

bool SetText(HWND control, const std::wstring& text) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000,
                               &result) != 0;
}

void PressKey(HWND window, UINT virtualKey) {
  const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  ::PostMessageW(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  ::PostMessageW(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
  SyncPosted(window, 2);
}

void PressAltF4(HWND window) {
  const UINT scan = ::MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC);
  ::PostMessageW(window, WM_SYSKEYDOWN, VK_F4, 1 | (scan << 16) | (1u << 29));
  ::PostMessageW(window, WM_SYSKEYUP, VK_F4, 1 | (scan << 16) | (1u << 29) | (1u << 30) | (1u << 31));
  SyncPosted(window, 2);
}

void PostSysCommand(HWND window, UINT command) {
  ::PostMessageW(window, WM_SYSCOMMAND, command, 0);
  SyncPosted(window, 1);
}

bool Hover(HWND window) {
  const RECT rect = WindowRect(window);
  return ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2) != FALSE;
}

bool MoveMouseAway() {
  return ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 2, ::GetSystemMetrics(SM_CYSCREEN) - 2) != FALSE;
}

bool Drag(POINT from, POINT to) {
  if (!::SetCursorPos(from.x, from.y)) return false;
  ::Sleep(100);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  if (::SendInput(1, &input, sizeof input) != 1) return false;
  ::Sleep(100);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i) {
    ::SetCursorPos(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    input.mi.dx = 0;
    input.mi.dy = 0;
    ::SendInput(1, &input, sizeof input);
    ::Sleep(30);
  }
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(1, &input, sizeof input);
  ::Sleep(100);
  return true;
}

std::wstring MessageBoxText(HWND box) {
  // The message box's text control has id 0xFFFF on Windows and under Wine.
  HWND text = ::GetDlgItem(box, 0xFFFF);
  if (text != nullptr) return Text(text);
  EnumText found;
  ::EnumChildWindows(box, &CollectStaticText, reinterpret_cast<LPARAM>(&found));
  return found.best;
}

bool PressButton(HWND box, int id) {
  HWND button = ::GetDlgItem(box, id);
  if (button == nullptr) return false;
  return ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

COLORREF Image::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool Capture(HWND window, Image* image, bool repaint) {
  if (repaint) ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sync(window);
  // Wine hands a window's drawing to the X server a little after painting.
  ::Sleep(150);
  const SIZE size = WindowSize(window);
  if (size.cx <= 0 || size.cy <= 0) return false;
  HDC source = ::GetWindowDC(window);
  if (source == nullptr) return false;
  UniqueHdc memory(::CreateCompatibleDC(source));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueHBitmap section(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  bool copied = false;
  if (memory && section && bits != nullptr) {
    SelectObjectScope select(memory.get(), section.get());
    copied = ::BitBlt(memory.get(), 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY) != FALSE;
    ::GdiFlush();
  }
  ::ReleaseDC(window, source);
  if (!copied) return false;
  image->width = size.cx;
  image->height = size.cy;
  const auto* rows = static_cast<const uint32_t*>(bits);
  image->pixels.assign(rows, rows + static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
  for (uint32_t& p : image->pixels) p &= 0x00FFFFFF;
  return true;
}

bool SaveBmp(const Image& image, const std::wstring& path) {
  const uint32_t rowSize = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
  const uint32_t dataSize = rowSize * static_cast<uint32_t>(image.height);
  std::vector<uint8_t> file(54 + dataSize, 0);
  auto put16 = [&](size_t at, uint16_t v) {
    file[at] = static_cast<uint8_t>(v);
    file[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(image.width));
  put32(22, static_cast<uint32_t>(image.height));  // bottom-up
  put16(26, 1);
  put16(28, 24);
  put32(34, dataSize);
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = file.data() + 54 + static_cast<size_t>(image.height - 1 - y) * rowSize;
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p =
          image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
      row[x * 3] = static_cast<uint8_t>(p);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  UniqueFile out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  DWORD written = 0;
  return ::WriteFile(out.get(), file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
         written == file.size();
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide) { return WideToUtf8(wide); }

}  // namespace qrn::ui
