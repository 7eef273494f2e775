// Stands in for the maker's earlier product in tests: creates its two named
// events, and quits when "Local\MV_Manager_UI_Quit" is set, which makes
// "Local\MV_TOLVEK_UI_EVENT" disappear with the process.
//   --never-quit   keep running whatever is signalled
//   --idle         create no events, just stay (a background process)
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const bool idle = std::wcsstr(commandLine, L"--idle") != nullptr;
  const bool neverQuit = std::wcsstr(commandLine, L"--never-quit") != nullptr;
  if (idle) {
    Sleep(INFINITE);
    return 0;
  }
  HANDLE ui = CreateEventW(nullptr, TRUE, FALSE, L"Local\\MV_TOLVEK_UI_EVENT");
  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, L"Local\\MV_Manager_UI_Quit");
  if (ui == nullptr || quit == nullptr) return 1;
  if (neverQuit) {
    Sleep(INFINITE);
  } else {
    WaitForSingleObject(quit, INFINITE);
  }
  CloseHandle(quit);
  CloseHandle(ui);
  return 0;
}
