// TEST ONLY: the installer window with the stand-in install thread, for the
// window tests and the screenshots. Everything but the thread is the
// installer's own code.
#include <windows.h>

#include "app/OvastroApp.h"
#include "standins/StandinInstallThread.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return qrn::RunInstaller(&qrn::StandinInstallThread); }
