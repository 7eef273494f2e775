#include "engine/LaterStages.h"

namespace qrn {

bool SendInstallInfo() { return true; }

}  // namespace qrn
