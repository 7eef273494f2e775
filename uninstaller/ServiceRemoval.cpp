#include "uninstaller/ServiceRemoval.h"

#include <windows.h>

#include <vector>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

constexpr DWORD kStopPollMs = 100;

bool WaitForStopped(SC_HANDLE service) {
  SERVICE_STATUS status{};
  for (DWORD waited = 0;; waited += kStopPollMs) {
    if (!QueryServiceStatus(service, &status)) {
      LOG_ERROR("QueryServiceStatus() failed, error code:%d", static_cast<int>(GetLastError()));
      return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (waited >= kServiceStopWaitMs) return false;
    Sleep(kStopPollMs);
  }
}

// What the removal needs of a service's stored configuration.
// Zero type and an empty image when it cannot be read.
struct StoredConfig {
  DWORD type = 0;
  std::wstring image;  // the program a service runs, as a plain path
};

StoredConfig ReadConfig(SC_HANDLE service) {
  StoredConfig stored;
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0 || needed > 64 * 1024) return stored;
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, needed, &needed)) return stored;
  stored.type = config->dwServiceType;
  if (config->lpBinaryPathName == nullptr) return stored;
  std::wstring image = config->lpBinaryPathName;
  if (image.size() >= 2 && image.front() == L'"' && image.back() == L'"') image = image.substr(1, image.size() - 2);
  if (image.rfind(L"\\??\\", 0) == 0) image.erase(0, 4);
  stored.image = std::move(image);
  return stored;
}

bool IsOneOf(const std::wstring& image, const std::vector<std::wstring>& files) {
  for (const std::wstring& file : files) {
    if (CompareStringOrdinal(image.c_str(), static_cast<int>(image.size()), file.c_str(), static_cast<int>(file.size()),
                             TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

}  // namespace

ServiceRemoval RemoveService(const std::wstring& name, const std::vector<std::wstring>* ownImages,
                             std::wstring* image) {
  const std::unique_ptr<char[]> ansiName = CStringToMultiByte(name);
  UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    LOG_ERROR("OpenSCManager() failed, error code:%d", static_cast<int>(GetLastError()));
    return ServiceRemoval::kFailed;
  }
  UniqueScHandle service(
      OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE));
  if (!service) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
      LOG_DEBUG("service not installed:%s", ansiName.get());
      return ServiceRemoval::kNotInstalled;
    }
    LOG_ERROR("OpenService() failed, error code:%d service:%s", static_cast<int>(error), ansiName.get());
    return ServiceRemoval::kFailed;
  }

  const StoredConfig config = ReadConfig(service.get());
  if (image != nullptr) *image = config.image;
  if (ownImages != nullptr && !IsOneOf(config.image, *ownImages)) {
    LOG_WARNING("service %s runs %s, not a file of this installation: left alone", ansiName.get(),
                CStringToMultiByte(config.image).get());
    return ServiceRemoval::kNotOurs;
  }

  bool stopped = true;
  SERVICE_STATUS status{};
  if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
    // A refused stop request (ERROR_SERVICE_NOT_ACTIVE for one stopping by
    // itself) is no reason to give up: the wait decides.
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
      LOG_WARNING("ControlService() failed, error code:%d service:%s", static_cast<int>(GetLastError()),
                  ansiName.get());
    }
    stopped = WaitForStopped(service.get());
    if (!stopped) LOG_ERROR("service did not stop in time:%s", ansiName.get());
  }
  if (!stopped && (config.type & SERVICE_DRIVER) != 0) {
    LOG_ERROR("driver still loaded, its service is left registered:%s", ansiName.get());
    return ServiceRemoval::kDriverLeft;
  }

  if (!DeleteService(service.get())) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_MARKED_FOR_DELETE) {
      LOG_ERROR("DeleteService() failed, error code:%d service:%s", static_cast<int>(error), ansiName.get());
      return ServiceRemoval::kFailed;
    }
  }
  LOG_DEBUG("service removed:%s", ansiName.get());
  return stopped ? ServiceRemoval::kRemoved : ServiceRemoval::kFailed;
}

}  // namespace qrn
