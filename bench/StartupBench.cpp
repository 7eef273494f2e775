// Start-up time of a setup: from the moment it is started to its first
// window shown and painted.
//   startup_bench <setup.exe> [runs]
// Starts the setup `runs` times (default 11), one after the other. Each
// time it waits for a visible top-level window of the new process whose
// update region, and that of every child window, is empty (the window has
// painted itself), notes the time, and ends the process. Prints one line:
//   ok runs=<n> median_ms=<ms> min_ms=<ms> max_ms=<ms> class=<window class> title=<window title>
// Exit code 1 when a run shows no window within 20 s.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindTop(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK ChildPainted(HWND child, LPARAM context) {
  if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(context) = false;
    return FALSE;
  }
  return TRUE;
}

bool Painted(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return false;
  bool painted = true;
  EnumChildWindows(window, ChildPainted, reinterpret_cast<LPARAM>(&painted));
  return painted;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: startup_bench <setup.exe> [runs]\n");
    return 2;
  }
  const int runs = argc == 3 ? std::max(1, _wtoi(argv[2])) : 11;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  wchar_t className[64] = L"";
  wchar_t title[128] = L"";
  for (int run = 0; run < runs; ++run) {
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      std::fprintf(stderr, "startup_bench: cannot start the setup, error code %lu\n", GetLastError());
      return 1;
    }
    double seconds = -1;
    for (;;) {
      Search search{info.dwProcessId, nullptr};
      EnumWindows(FindTop, reinterpret_cast<LPARAM>(&search));
      QueryPerformanceCounter(&now);
      if (search.found != nullptr && Painted(search.found)) {
        seconds = Seconds(start, now, frequency);
        GetClassNameW(search.found, className, 64);
        GetWindowTextW(search.found, title, 128);
        break;
      }
      if (Seconds(start, now, frequency) > 20 || WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) break;
      Sleep(1);
    }
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (seconds < 0) {
      std::fprintf(stderr, "startup_bench: run %d showed no painted window within 20 s\n", run + 1);
      return 1;
    }
    times.push_back(seconds * 1000);
  }
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  char name[64] = "";
  char text[512] = "";
  WideCharToMultiByte(CP_UTF8, 0, className, -1, name, sizeof name, nullptr, nullptr);
  WideCharToMultiByte(CP_UTF8, 0, title, -1, text, sizeof text, nullptr, nullptr);
  std::printf("ok runs=%d median_ms=%.1f min_ms=%.1f max_ms=%.1f class=%s title=%s\n", runs, sorted[sorted.size() / 2],
              sorted.front(), sorted.back(), name, text);
  return 0;
}
