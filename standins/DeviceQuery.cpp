// Test helper, run as its own process: opens a device the way the installer
// does (no data access, shared read and write, OPEN_EXISTING), sends one
// control code with no input and a 4-byte output, and writes one line
//   "open <error> control <error> version <value> returned <bytes>"
// to the file named by its third argument (errors 0 when the call worked).
//   device_query <device> <control code, 0x hex> <answer file>
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const DWORD code = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 16));
  DWORD openError = 0, controlError = 0, version = 0, returned = 0;
  HANDLE device = CreateFileW(argv[1], 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    openError = GetLastError();
  } else {
    if (!DeviceIoControl(device, code, nullptr, 0, &version, sizeof version, &returned, nullptr)) {
      controlError = GetLastError();
    }
    CloseHandle(device);
  }
  FILE* out = _wfopen(argv[3], L"w");
  if (out == nullptr) return 3;
  std::fprintf(out, "open %lu control %lu version %lu returned %lu\n", static_cast<unsigned long>(openError),
               static_cast<unsigned long>(controlError), static_cast<unsigned long>(version),
               static_cast<unsigned long>(returned));
  std::fclose(out);
  return 0;
}
