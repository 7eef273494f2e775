// Stages of the install sequence that other work fills in: drivers and the
// protection service, component registration with the install report, and
// shortcuts. Until then each does nothing and returns its neutral result.
#pragma once

#include "engine/InstallSettings.h"

namespace qrn {

bool InstallDriver(InstallSettings& settings);
void AfterSetup(InstallSettings& settings);
void OverSetup(InstallSettings& settings);

}  // namespace qrn
