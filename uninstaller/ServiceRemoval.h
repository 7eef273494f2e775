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
  kDriverLeft,    // a kernel driver that did not stop: left registered (logged)
  kFailed,        // could not be opened, stopped in time or deleted (logged)
};

// Stops the service (waiting at most kServiceStopWaitMs) and deletes it.
// A service that was already marked for deletion counts as removed.
// A Win32 service that does not stop in time is still deleted (marked, to
// go when it stops: the uninstaller ends the product's programs next), but
// the result is kFailed: its program is then most likely still in use.
// A kernel driver that does not stop (one holding a mounted volume or a
// virtual disk refuses) is not deleted: nothing ends it, and a deleted
// registration would leave it running for this session and never loaded
// again, while an installation over this one, finding its device answering,
// has no reason to load it. The result is kDriverLeft; its file must stay too.
// With `ownImages`, the service is removed only when its stored program
// (ImagePath, quotes and a "\??\" prefix set aside) is one of those files,
// ignoring case: the driver services carry general names ("VeraCrypt") that
// another product's driver may have since.
// `image`, when given, receives that stored program (empty when it could not
// be read).
ServiceRemoval RemoveService(const std::wstring& name, const std::vector<std::wstring>* ownImages = nullptr,
                             std::wstring* image = nullptr);

inline constexpr unsigned kServiceStopWaitMs = 10000;

}  // namespace qrn
