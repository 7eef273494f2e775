// Stand-in for the product's protection service program: a real own-process
// service (dispatcher, START_PENDING, RUNNING, STOP) that appends one line
// to a log beside its executable when it starts and when it stops:
//   "<exe folder>\<exe base name>.log"   e.g. QRNProtectService.log
//   "start pid=<pid> path=<exe path>"    "stop pid=<pid>"
// The log is named after the executable, so a copy planted elsewhere under
// another name (C:\Program.exe in the unquoted-path test) leaves its own log
// (C:\Program.log) and cannot be mistaken for the real program.
//
// The product's copy (built with QRN_LOG_IN_DATA_FOLDER) keeps the same
// lines in the product's data folder instead (common application data,
// Quorrin, log, QRNProtectService.log), as a real service keeps its logs
// out of the install folder, which its uninstaller empties and removes.
//
// Test-only: when "<exe base name>.stoppending" exists beside the executable,
// a stop request leaves the service in SERVICE_STOP_PENDING for the number of
// milliseconds written in that file (10000 when it holds no number) before it
// stops, so the installer's bounded stop wait can be seen to give up.
#include <windows.h>
// windows.h first: the shell header needs its macros.
#include <shlobj.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "base/Utf8.h"

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stopEvent = nullptr;

std::wstring ExecutablePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  return std::wstring(path, n);
}

// The executable path without its extension.
std::wstring BasePath() {
  std::wstring path = ExecutablePath();
  const size_t dot = path.find_last_of(L'.');
  const size_t slash = path.find_last_of(L'\\');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  return path;
}

std::wstring LogPath() {
#if defined(QRN_LOG_IN_DATA_FOLDER)
  wchar_t data[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data))) return std::wstring();
  return std::wstring(data) + L"\\Quorrin\\log\\QRNProtectService.log";
#else
  return BasePath() + L".log";
#endif
}

void AppendLine(const std::string& line) {
  const std::wstring log = LogPath();
  if (log.empty()) return;
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// Milliseconds to stay in SERVICE_STOP_PENDING; 0 when the marker is absent.
DWORD StopPendingMilliseconds() {
  const std::wstring marker = BasePath() + L".stoppending";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char text[32] = {};
  DWORD read = 0;
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  const unsigned long ms = std::strtoul(text, nullptr, 10);
  return ms != 0 && ms < 600000 ? static_cast<DWORD>(ms) : 10000;
}

void Report(DWORD state, DWORD waitHint = 0) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  g_status.dwWin32ExitCode = NO_ERROR;
  g_status.dwWaitHint = waitHint;
  ++g_status.dwCheckPoint;
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) g_status.dwCheckPoint = 0;
  SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      SetServiceStatus(g_statusHandle, &g_status);
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_statusHandle = RegisterServiceCtrlHandlerExW(L"QRNProtectService", ControlHandler, nullptr);
  if (g_statusHandle == nullptr) return;
  g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stopEvent == nullptr) {
    Report(SERVICE_STOPPED);
    return;
  }
  Report(SERVICE_START_PENDING, 3000);
  AppendLine("start pid=" + std::to_string(GetCurrentProcessId()) + " path=" + qrn::WideToUtf8(ExecutablePath()));
  Report(SERVICE_RUNNING);

  WaitForSingleObject(g_stopEvent, INFINITE);
  const DWORD pending = StopPendingMilliseconds();
  Report(SERVICE_STOP_PENDING, pending + 1000);
  if (pending != 0) Sleep(pending);
  AppendLine("stop pid=" + std::to_string(GetCurrentProcessId()));
  CloseHandle(g_stopEvent);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  wchar_t name[] = L"QRNProtectService";
  const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) {
    // Started as a plain program: nothing to protect, say so and end.
    AppendLine("not a service, error " + std::to_string(GetLastError()));
    return 1;
  }
  return 0;
}
