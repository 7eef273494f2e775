// Entry point of the installer.
#include <windows.h>

#include "app/OvastroApp.h"
#include "engine/InstallThread.h"
#include "system/SetupInfo.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#if defined(QRN_WOW64_STAND_IN)
  // The 64-bit build of the installer exists only to stand in for the 32-bit
  // installer on 64-bit Windows where no 32-bit code can run (the tests and
  // the demo on such machines): it takes the 64-bit routes a WoW64 process
  // takes, and the redirection switch has nothing to redirect.
  qrn::SetIsWow64ForTesting(1);
#endif
  // Command-line arguments are ignored.
  return qrn::RunInstaller(&qrn::ThreadExtract);
}
