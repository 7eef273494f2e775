#include "engine/LaterStages.h"

namespace qrn {

bool InstallDriver(InstallSettings&) { return true; }
void AfterSetup(InstallSettings&) {}
void OverSetup(InstallSettings&) {}

}  // namespace qrn
