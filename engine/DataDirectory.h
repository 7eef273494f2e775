// The product's shared data folder, opened to every user of the machine.
#pragma once

#include "engine/InstallSettings.h"

namespace qrn {

// Creates the folder (its parent always exists) and grants the Users group
// (on Windows Vista also Administrators) full access inherited by everything
// below. True when the folder exists and every rights change succeeded.
bool CreateAppDataDirectory(InstallSettings& settings);

}  // namespace qrn
