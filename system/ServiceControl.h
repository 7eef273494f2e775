// Service control for the install stages: create an own-process Win32
// service with a description, stop and delete a service, start a service.
//
// Each function opens the local service control manager itself, closes
// every handle it opened before returning, and reports failure as false with
// one error line in the log ("<call>() failed, error code:%d" and the like,
// the thread's last-error code read right after the failing call).
// Kernel-driver services are the driver stage's business, not these.
#pragma once

#include <string>

namespace qrn {

// Creates `name` (display name = name) as an own-process service, automatic
// start, normal error control, LocalSystem, with `imagePath` stored unchanged
// as its command line, then sets its description. False when the service
// cannot be created (for example because one of that name exists; no
// description is written then); a failing description only logs.
// A path with a blank must be quoted by the caller: see QuotedImagePath.
bool Service_InstallDriver(const std::wstring& name, const std::wstring& description, const std::wstring& imagePath);

// Asks the service to stop, waits at most 4 s (1 s, then up to 3 further
// checks 1 s apart while it reports SERVICE_STOP_PENDING), then deletes it.
// True when the deletion call succeeded; a service that did not stop in time
// is only marked for deletion and goes once it stops. False (with a log line)
// when the manager or the service cannot be opened or the deletion fails.
bool Service_DeleteService(const std::wstring& name);

// Starts a stopped service. True when the start request succeeded or found
// the service already running (ERROR_SERVICE_ALREADY_RUNNING); false with a
// log line otherwise. The interrogation asked first would turn away a service
// that answers it with any state but SERVICE_STOPPED ("ControlService
// failed"); with the start access used here it is never answered (see the
// source), so a running service ends up counted as started.
bool Service_StartService(const std::wstring& name);

// The command line to store for a service program: the path in double
// quotes. The service manager starts an own-process service by handing its
// stored command line to CreateProcess without an application name; an
// unquoted "C:\Program Files\...\x.exe" is then tried as "C:\Program.exe"
// first (the unquoted service path hole, reproduced by Wine), which would
// run a planted program as LocalSystem. A path already in quotes is returned
// unchanged.
std::wstring QuotedImagePath(const std::wstring& path);

}  // namespace qrn
