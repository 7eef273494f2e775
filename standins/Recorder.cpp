// TEST ONLY: a program that records how it was started. It appends one line
// "<its own path>|<its command line>" (UTF-8) to the file named by the
// environment variable QRN_RECORD_FILE and ends. Tests install it as the
// product program and as the handler of .htm files, to see what the
// installer opens.
#include <windows.h>

#include <string>

#include "base/Utf8.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t record[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"QRN_RECORD_FILE", record, MAX_PATH) == 0) return 2;
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring line = std::wstring(self) + L"|" + ::GetCommandLineW() + L"\n";
  const std::string utf8 = qrn::WideToUtf8(line);
  // Appends whole lines even when two copies record at once.
  HANDLE file = ::CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
  return 0;
}
