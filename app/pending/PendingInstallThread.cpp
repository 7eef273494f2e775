#include "app/pending/PendingInstallThread.h"

#include "app/pending/InstallSettings.h"
#include "log/Log.h"

namespace qrn {

unsigned __stdcall PendingInstallThread(void* settings) {
  LOG_ERROR("ThreadExtract() failed: this build has no install engine");
  static_cast<InstallSettings*>(settings)->installFailed = TRUE;
  return 1;
}

}  // namespace qrn
