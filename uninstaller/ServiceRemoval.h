// Removing the product's services: the protection service and the two
// kernel-driver services the installer registered.
#pragma once

#include <string>
#include <vector>

namespace qrn {

enum class ServiceRemoval {
  kNotInstalled,  // no service of that name: nothing to do
  kRemoved,       // stopped (or not running) and deleted
  kNotOurs,       // its program is none of the given files: left alone
  kFailed,        // could not be opened, stopped in time or deleted (logged)
};

// Stops the service (waiting at most kServiceStopWaitMs) and deletes it.
// A service that was already marked for deletion counts as removed. A
// service that does not stop in time is still deleted (marked, to go when
// it stops), but the result is kFailed: its program or driver file is then
// most likely still in use.
// With `ownImages`, the service is removed only when its stored program
// (ImagePath, quotes and a "\??\" prefix set aside) is one of those files,
// ignoring case: the driver services carry general names ("VeraCrypt") that
// another product's driver may have since.
ServiceRemoval RemoveService(const std::wstring& name, const std::vector<std::wstring>* ownImages = nullptr);

inline constexpr unsigned kServiceStopWaitMs = 10000;

}  // namespace qrn
