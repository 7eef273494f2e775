// TEST ONLY: a DLL planted beside the setup under the name of one that
// Windows loads on demand (version.dll, uxtheme.dll, ...). When it is loaded
// it leaves "<its own path>.loaded" beside itself; the installer must never
// load it.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH] = {};
  if (::GetModuleFileNameW(self, path, MAX_PATH) == 0) return TRUE;
  const std::wstring marker = std::wstring(path) + L".loaded";
  HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  // Refuses to stay, so that the process goes on with the system's DLL.
  return FALSE;
}
