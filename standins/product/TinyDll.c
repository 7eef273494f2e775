/* A DLL that does nothing. The payload carries it under names that exercise
   the installer's routing rules (a library for the 32-bit system folder, a
   runtime-library name that the install record leaves out), so that the
   stand-in product never puts a foreign file on a machine. No program loads
   it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

/* One export, so that the library is an ordinary DLL to any tool that lists
   exports. */
__declspec(dllexport) int QrnStandInLibraryVersion(void) { return 1; }
