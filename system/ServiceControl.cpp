#include "system/ServiceControl.h"

#include <windows.h>

#include "base/Owners.h"
#include "log/Log.h"

namespace qrn {
namespace {

// Access for starting: STANDARD_RIGHTS_REQUIRED with query-config,
// change-config, query-status, enumerate-dependents, start and stop. It has
// no SERVICE_INTERROGATE (0x80), so the interrogation below fails with
// ERROR_ACCESS_DENIED (Windows and Wine alike) and the start request decides;
// adding the right would make an already running service count as a failed
// start of the protection service.
constexpr DWORD kStartAccess = 0xF003F;
// The stop wait: 1000 ms after the request, then at most 3 further checks.
constexpr DWORD kStopPollMs = 1000;
constexpr int kStopChecks = 3;

int LastError() { return static_cast<int>(GetLastError()); }

UniqueScHandle OpenManager() { return UniqueScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

}  // namespace

bool Service_InstallDriver(const std::wstring& name, const std::wstring& description, const std::wstring& imagePath) {
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager() failed, error code:%d", LastError());
    return false;
  }
  UniqueScHandle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                        imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) {
    LOG_ERROR("CreateService() failed, error code:%d", LastError());
    return false;
  }
  SERVICE_DESCRIPTIONW text{};
  std::wstring descriptionCopy = description;  // the structure wants a writable pointer
  text.lpDescription = descriptionCopy.data();
  if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &text)) {
    LOG_ERROR("ChangeServiceConfig2() failed, error code:%d", LastError());
  }
  return true;
}

bool Service_DeleteService(const std::wstring& name) {
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager() failed, error code:%d", LastError());
    return false;
  }
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) {
    LOG_ERROR("OpenService() failed, error code:%d", LastError());
    return false;
  }

  // A stop request fails for a service that is not running: nothing to wait for.
  SERVICE_STATUS status{};
  if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    Sleep(kStopPollMs);
    for (int checksLeft = kStopChecks;; --checksLeft) {
      if (!QueryServiceStatus(service.get(), &status)) break;
      if (checksLeft == 0 || status.dwCurrentState != SERVICE_STOP_PENDING) break;
      LOG_DEBUG("ControlService() stopping");
      Sleep(kStopPollMs);
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
      LOG_DEBUG("ControlService() stopped");
    } else {
      LOG_ERROR("ControlService() failed to stop, error code:%d", LastError());
    }
  }

  if (!DeleteService(service.get())) {
    LOG_ERROR("DeleteService() failed, error code:%d", LastError());
    return false;
  }
  return true;
}

bool Service_StartService(const std::wstring& name) {
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager failed, error code:%d", LastError());
    return false;
  }
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), kStartAccess));
  if (!service) {
    LOG_ERROR("OpenService failed, error code:%d", LastError());
    return false;
  }
  // A service that answers the interrogation is running already and is not
  // started again (never the case with kStartAccess, see there).
  SERVICE_STATUS status{};
  if (ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    LOG_ERROR("ControlService failed, error code:%d", LastError());
    return false;
  }
  if (!StartServiceW(service.get(), 0, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) return true;
    LOG_ERROR("StartService failed, error code:%d", static_cast<int>(error));
    return false;
  }
  return true;
}

std::wstring QuotedImagePath(const std::wstring& path) {
  if (!path.empty() && path.front() == L'"') return path;
  return L"\"" + path + L"\"";
}

}  // namespace qrn
