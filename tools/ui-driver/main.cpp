// ui-driver: runs a script that drives a program's windows.
//
//   ui-driver.exe <script>     a UTF-8 file, one command a line ('#' starts a comment)
//   ui-driver.exe - <command>  one command per argument after the dash
//
// Tokens are separated by blanks; "double quotes" keep blanks in one token;
// %NAME% is replaced by the environment variable's value.
// Ids are decimal; times in milliseconds. The first failing command ends the
// run with exit code 1 and a message naming its line.
//
//   env NAME VALUE            set an environment variable for programs started later
//   start EXE [ARGS...]       start the program under test
//   window [TITLE] [TIMEOUT]  wait for its top-level window (title containing TITLE)
//   click ID                  BM_CLICK on a control (refused when hidden or disabled)
//   settext ID TEXT           WM_SETTEXT on a control
//   key enter|esc|altf4       post a key press to the window
//   syscommand N              post WM_SYSCOMMAND N (0xF060 is SC_CLOSE)
//   hover ID | mouse-away     move the mouse onto a control, or away
//   sleep MS
//   expect visible|hidden|inview|outofview|enabled|disabled|checked|unchecked ID
//                             (inview: visible and inside the window's rectangle)
//   expect-size W H [TIMEOUT] the window's size (waits up to TIMEOUT for it)
//   expect-text ID TEXT
//   box [TIMEOUT]             wait for a message box and print its text
//   expect-box TEXT [TIMEOUT] wait for a message box showing TEXT
//   press ok|cancel|ID        press a button of the message box; waits until it goes
//   shot FILE | shot-box FILE save a screenshot of the window or of the message box (BMP)
//   print ID                  print a control's state and text
//   wait-exit [TIMEOUT]       wait for the program to end; prints its exit code
//   expect-running            the program has not ended
//   kill
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/ui-driver/UiDriver.h"

namespace qrn::ui {
namespace {

constexpr DWORD kDefaultTimeout = 15000;

struct Session {
  Program program;
  HWND window = nullptr;
  HWND box = nullptr;
};

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fwrite("\n", 1, 1, stdout);
  std::fflush(stdout);
}

std::wstring Expand(const std::wstring& token) {
  if (token.find(L'%') == std::wstring::npos) return token;
  const DWORD size = ::ExpandEnvironmentStringsW(token.c_str(), nullptr, 0);
  std::wstring expanded(size, L'\0');
  const DWORD copied = ::ExpandEnvironmentStringsW(token.c_str(), expanded.data(), size);
  expanded.resize(copied > 0 ? copied - 1 : 0);
  return expanded;
}

std::vector<std::wstring> Tokens(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t' || line[i] == L'\r')) ++i;
    if (i >= line.size() || line[i] == L'#') break;
    std::wstring token;
    if (line[i] == L'"') {
      const size_t close = line.find(L'"', i + 1);
      token = line.substr(i + 1, close == std::wstring::npos ? std::wstring::npos : close - i - 1);
      i = close == std::wstring::npos ? line.size() : close + 1;
    } else {
      while (i < line.size() && line[i] != L' ' && line[i] != L'\t' && line[i] != L'\r') token += line[i++];
    }
    tokens.push_back(Expand(token));
  }
  return tokens;
}

long Number(const std::wstring& text) { return std::wcstol(text.c_str(), nullptr, 0); }

DWORD TimeoutArg(const std::vector<std::wstring>& t, size_t index) {
  return t.size() > index ? static_cast<DWORD>(Number(t[index])) : kDefaultTimeout;
}

std::string Describe(HWND control) {
  if (control == nullptr) return "missing";
  std::string out = IsVisible(control) ? "visible" : "hidden";
  out += IsEnabled(control) ? " enabled" : " disabled";
  out += " check=" + std::to_string(CheckState(control));
  out += " text=\"" + Narrow(Text(control)) + "\"";
  return out;
}

// Runs one command; empty on success, else the failure.
std::string Run(Session& s, const std::vector<std::wstring>& t) {
  const std::wstring& c = t[0];
  auto need = [&](size_t n) { return t.size() >= n; };
  auto needWindow = [&]() { return s.window != nullptr; };

  if (c == L"env" && need(3)) return ::SetEnvironmentVariableW(t[1].c_str(), t[2].c_str()) ? "" : "env failed";
  if (c == L"start" && need(2)) {
    std::wstring arguments;
    for (size_t i = 2; i < t.size(); ++i) arguments += (i > 2 ? L" " : L"") + t[i];
    std::string error;
    s.program = Program::Start(t[1], arguments, &error);
    s.window = nullptr;
    return s.program ? "" : error;
  }
  if (c == L"window") {
    if (!s.program) return "no program";
    s.window = WaitForWindow(s.program.pid(), t.size() > 1 ? t[1] : L"", TimeoutArg(t, 2));
    if (s.window == nullptr) return "no window";
    Sync(s.window);
    Print("window: " + Narrow(Text(s.window)));
    return "";
  }
  if (c == L"kill") {
    s.program.Kill();
    return "";
  }
  if (c == L"wait-exit") {
    DWORD code = 0;
    if (!s.program.WaitForExit(TimeoutArg(t, 1), &code)) return "the program is still running";
    Print("exit: " + std::to_string(code));
    return "";
  }
  if (c == L"expect-running") return s.program.WaitForExit(0) ? "the program has ended" : "";
  if (c == L"sleep" && need(2)) {
    ::Sleep(static_cast<DWORD>(Number(t[1])));
    return "";
  }
  if (c == L"mouse-away") return MoveMouseAway() ? "" : "SetCursorPos failed";
  if (c == L"box") {
    if (!s.program) return "no program";
    s.box = WaitForMessageBox(s.program.pid(), TimeoutArg(t, 1), s.window);
    if (s.box == nullptr) return "no message box";
    Print("box: " + Narrow(MessageBoxText(s.box)));
    return "";
  }
  if (c == L"expect-box" && need(2)) {
    if (!s.program) return "no program";
    s.box = WaitForMessageBox(s.program.pid(), TimeoutArg(t, 2), s.window);
    if (s.box == nullptr) return "no message box";
    const std::wstring text = MessageBoxText(s.box);
    return text == t[1] ? "" : "the box says \"" + Narrow(text) + "\"";
  }
  if (c == L"press" && need(2)) {
    if (s.box == nullptr) return "no message box";
    const int id = t[1] == L"ok" ? IDOK : t[1] == L"cancel" ? IDCANCEL : static_cast<int>(Number(t[1]));
    if (!PressButton(s.box, id)) return "no such button";
    if (!WaitForWindowGone(s.box, kDefaultTimeout)) return "the box stays";
    s.box = nullptr;
    if (s.window != nullptr && ::IsWindow(s.window)) Sync(s.window);
    return "";
  }
  if (c == L"shot-box" && need(2)) {
    Image image;
    if (s.box == nullptr || !Capture(s.box, &image)) return "no picture of the box";
    return SaveBmp(image, t[1]) ? "" : "cannot write the picture";
  }

  if (!needWindow()) return "no window (use: window)";
  if (c == L"click" && need(2)) return Click(s.window, static_cast<int>(Number(t[1])));
  if (c == L"settext" && need(3)) {
    return SetText(Control(s.window, static_cast<int>(Number(t[1]))), t[2]) ? "" : "WM_SETTEXT failed";
  }
  if (c == L"key" && need(2)) {
    if (t[1] == L"enter") {
      PressKey(s.window, VK_RETURN);
    } else if (t[1] == L"esc") {
      PressKey(s.window, VK_ESCAPE);
    } else if (t[1] == L"altf4") {
      PressAltF4(s.window);
    } else {
      return "unknown key";
    }
    return "";
  }
  if (c == L"syscommand" && need(2)) {
    PostSysCommand(s.window, static_cast<UINT>(Number(t[1])));
    return "";
  }
  if (c == L"hover" && need(2)) {
    return Hover(Control(s.window, static_cast<int>(Number(t[1])))) ? "" : "SetCursorPos failed";
  }
  if (c == L"expect" && need(3)) {
    HWND control = Control(s.window, static_cast<int>(Number(t[2])));
    if (control == nullptr) return "no such control";
    const std::wstring& what = t[1];
    bool ok = false;
    if (what == L"visible") ok = IsVisible(control);
    if (what == L"hidden") ok = !IsVisible(control);
    if (what == L"inview") ok = IsInView(control);
    if (what == L"outofview") ok = !IsInView(control);
    if (what == L"enabled") ok = IsEnabled(control);
    if (what == L"disabled") ok = !IsEnabled(control);
    if (what == L"checked") ok = CheckState(control) == BST_CHECKED;
    if (what == L"unchecked") ok = CheckState(control) == BST_UNCHECKED;
    return ok ? "" : "control is " + Describe(control);
  }
  if (c == L"expect-size" && need(3)) {
    const ULONGLONG end = ::GetTickCount64() + TimeoutArg(t, 3);
    for (;;) {
      const SIZE size = WindowSize(s.window);
      if (size.cx == Number(t[1]) && size.cy == Number(t[2])) return "";
      if (::GetTickCount64() >= end) return "size is " + std::to_string(size.cx) + "x" + std::to_string(size.cy);
      ::Sleep(50);
    }
  }
  if (c == L"expect-text" && need(3)) {
    const std::wstring text = Text(Control(s.window, static_cast<int>(Number(t[1]))));
    return text == t[2] ? "" : "text is \"" + Narrow(text) + "\"";
  }
  if (c == L"print" && need(2)) {
    Print(std::to_string(Number(t[1])) + ": " + Describe(Control(s.window, static_cast<int>(Number(t[1])))));
    return "";
  }
  if (c == L"shot" && need(2)) {
    Image image;
    if (!Capture(s.window, &image)) return "no picture of the window";
    return SaveBmp(image, t[1]) ? "" : "cannot write the picture";
  }
  return "unknown command or missing arguments";
}

std::vector<std::wstring> ScriptLines(int argc, wchar_t** argv, std::string* error) {
  std::vector<std::wstring> lines;
  if (argc >= 2 && std::wstring(argv[1]) == L"-") {
    for (int i = 2; i < argc; ++i) lines.push_back(argv[i]);
    return lines;
  }
  if (argc != 2) {
    *error = "usage: ui-driver <script> | ui-driver - <command>...";
    return lines;
  }
  UniqueFile file(::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 1 << 20) {
    *error = "cannot read the script";
    return lines;
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
    *error = "cannot read the script";
    return lines;
  }
  const std::wstring text = Widen(bytes.substr(0, got));
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace
}  // namespace qrn::ui

int wmain(int argc, wchar_t** argv) {
  using namespace qrn::ui;
  std::string error;
  const std::vector<std::wstring> lines = ScriptLines(argc, argv, &error);
  if (!error.empty()) {
    std::fprintf(stderr, "ui-driver: %s\n", error.c_str());
    return 2;
  }
  Session session;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::wstring> tokens = Tokens(lines[i]);
    if (tokens.empty()) continue;
    const std::string failure = Run(session, tokens);
    if (!failure.empty()) {
      std::fprintf(stderr, "ui-driver: line %zu (%s): %s\n", i + 1, Narrow(lines[i]).c_str(), failure.c_str());
      return 1;
    }
  }
  // A program still running at the end is left running: the script decides.
  session.program.Detach();
  return 0;
}
