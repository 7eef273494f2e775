#include "engine/LaterStages.h"

#include "log/Log.h"
#include "report/InstallReport.h"

namespace qrn {

bool InstallDriver(InstallSettings&) { return true; }

void AfterSetup(InstallSettings&) {
  LOG_DEBUG("running to SendInstallInfo()");
  if (!SendInstallInfo()) LOG_ERROR("SendInstallInfo() failed");
}

void OverSetup(InstallSettings&) {}

}  // namespace qrn
