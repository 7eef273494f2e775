// Entry point of Uninstall.exe.
#include <windows.h>

#include "app/DllSearch.h"
#include "system/DelayLoadHooks.h"
#include "system/SetupInfo.h"
#include "uninstaller/Uninstaller.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a DLL on demand: the uninstaller runs from the
  // install folder with administrator rights.
  qrn::RestrictDllSearch();
  // A system DLL or function that cannot be loaded ends the run with a log
  // line, as one that could not remove everything.
  qrn::InstallDelayLoadHooks(qrn::kUninstallIncomplete);
#if defined(QRN_WOW64_STAND_IN)
  // The 64-bit build stands in for the 32-bit uninstaller on 64-bit Windows
  // where no 32-bit code can run: it takes the routes a WoW64 process takes.
  qrn::SetIsWow64ForTesting(1);
#endif
  return qrn::RunUninstaller(GetCommandLineW());
}
