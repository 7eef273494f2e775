// Stages of the install sequence still being filled in: drivers and the
// protection service, component registration, and shortcuts do nothing yet
// and return their neutral result; AfterSetup sends the install report.
#pragma once

#include "engine/InstallSettings.h"

namespace qrn {

bool InstallDriver(InstallSettings& settings);
void AfterSetup(InstallSettings& settings);
void OverSetup(InstallSettings& settings);

}  // namespace qrn
