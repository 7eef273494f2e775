// Stands in for uninstallers (and for a planted C:\Program.exe) in tests:
// appends its command line, one line per run, to "<its own path>.log".
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH + 8];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  lstrcatW(path, L".log");
  HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 1;
  const wchar_t* line = GetCommandLineW();
  DWORD written = 0;
  WriteFile(log, line, lstrlenW(line) * sizeof(wchar_t), &written, nullptr);
  WriteFile(log, L"\n", sizeof(wchar_t), &written, nullptr);
  CloseHandle(log);
  return 0;
}
