// The installer as a program: the start-up checks, the log, the main window.
#pragma once

#include "app/OvastroDlg.h"

namespace qrn {

class COvastroApp {
 public:
  // `installThread`: the install-thread entry the window starts.
  explicit COvastroApp(InstallThreadEntry installThread) : installThread_(installThread) {}

  // The whole start-up and run: refuses Windows older than 6.0 and a second
  // copy (of itself or of the uninstaller), opens the log, runs the window.
  // FALSE on every path, as the program sets no exit code of its own.
  BOOL InitInstance();

 private:
  InstallThreadEntry installThread_;
};

// The entry of every build of the installer window: restricts the DLL search
// first, then runs the application. Returns the process exit code, 0; a
// system DLL or function that cannot be loaded outside the install thread
// ends the process with 1 instead (system/DelayLoadHooks.h).
int RunInstaller(InstallThreadEntry installThread);

}  // namespace qrn
