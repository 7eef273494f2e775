// Entry point of the installer.
#include <windows.h>

#include "app/OvastroApp.h"
#include "engine/InstallThread.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Command-line arguments are ignored.
  return qrn::RunInstaller(&qrn::ThreadExtract);
}
