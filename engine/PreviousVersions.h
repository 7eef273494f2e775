// Removal of earlier installations before anything is extracted: the
// maker's earlier product is asked to quit, terminated and uninstalled; an
// earlier installation of this product is uninstalled by its own (or, in a
// folder not named exactly "Quorrin", by the payload's) uninstaller.
#pragma once

#include "engine/InstallSettings.h"

namespace qrn {

// False only when this product's old uninstaller exists but cannot be
// started; every other outcome, any failure in the earlier product's branch
// included, is logged and returns true.
bool RemovePreviousVersions(InstallSettings& settings);

}  // namespace qrn
