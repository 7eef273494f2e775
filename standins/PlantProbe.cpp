// TEST ONLY: the control case of the DLL-planting test. It loads version.dll
// and uxtheme.dll by name with the default search order, as any program does
// that takes no care, so a DLL planted beside it is loaded: the test sees
// that its planted DLLs would be noticed.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::LoadLibraryW(L"version.dll");
  ::LoadLibraryW(L"uxtheme.dll");
  return 0;
}
