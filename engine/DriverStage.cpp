#include "engine/DriverStage.h"

#include "base/Owners.h"
#include "log/Log.h"
#include "system/ServiceControl.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// Start wait of LoadDriver: 80 checks 50 ms apart (4 s). Stop wait of
// UnloadDriver: 10 checks 200 ms apart (2 s).
constexpr int kStartChecks = 80;
constexpr DWORD kStartPollMs = 50;
constexpr int kStopChecks = 10;
constexpr DWORD kStopPollMs = 200;

int LastError() { return static_cast<int>(GetLastError()); }

UniqueScHandle OpenManager() { return UniqueScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

// No data access: the device is only asked control codes.
UniqueFile OpenDevice(const std::wstring& device, DWORD shareMode) {
  return UniqueFile(CreateFileW(device.c_str(), 0, shareMode, nullptr, OPEN_EXISTING, 0, nullptr));
}

enum class LoadStep { kDone, kRetry };

// One pass of LoadDriver. `*retried` is set when this pass deleted the
// registration so that the caller makes it again.
LoadStep LoadOnce(const std::wstring& service, const std::wstring& imagePath, bool* retried, bool* result) {
  *result = false;
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager failed, error code:%d", LastError());
    return LoadStep::kDone;
  }
  UniqueScHandle handle(CreateServiceW(manager.get(), service.c_str(), service.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,
                                       imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  bool existing = false;
  if (!handle) {
    const DWORD createError = GetLastError();
    if (createError == ERROR_SERVICE_EXISTS || createError == ERROR_SERVICE_MARKED_FOR_DELETE) {
      handle.reset(OpenServiceW(manager.get(), service.c_str(), SERVICE_ALL_ACCESS));
      existing = static_cast<bool>(handle);
    }
    if (!handle) {
      LOG_ERROR("CreateService failed, error code:%d", static_cast<int>(createError));
      return LoadStep::kDone;
    }
  }
  // A registration from an earlier installation may name another file or
  // settings: it is made again once. On the second pass it is used as it is.
  if (existing && !*retried) {
    DeleteService(handle.get());
    *retried = true;
    return LoadStep::kRetry;
  }

  if (StartServiceW(handle.get(), 0, nullptr)) {
    SERVICE_STATUS status{};
    QueryServiceStatus(handle.get(), &status);
    for (int check = 1; check < kStartChecks && status.dwCurrentState == SERVICE_START_PENDING; ++check) {
      Sleep(kStartPollMs);
      QueryServiceStatus(handle.get(), &status);
    }
    *result = status.dwCurrentState == SERVICE_RUNNING;
    return LoadStep::kDone;
  }
  const DWORD startError = GetLastError();
  if (startError != ERROR_SERVICE_ALREADY_RUNNING && !*retried) {
    DeleteService(handle.get());
    *retried = true;
    return LoadStep::kRetry;
  }
  *result = startError == ERROR_SERVICE_ALREADY_RUNNING;
  LOG_ERROR("StartService failed, error code:%d", static_cast<int>(startError));
  return LoadStep::kDone;
}

enum class VersionCheck { kAccepted, kRejected, kOtherVersion };

VersionCheck CheckVersion(HANDLE device) {
  DWORD version = 0;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_GET_DRIVER_VERSION, nullptr, 0, &version, sizeof version, &returned, nullptr)) {
    LOG_ERROR("DeviceIoControl failed, error code:%d", LastError());
    // An older driver knows only the legacy query; what it reports is not
    // looked at.
    if (DeviceIoControl(device, IOCTL_LEGACY_GET_DRIVER_VERSION, nullptr, 0, &version, sizeof version, &returned,
                        nullptr)) {
      return VersionCheck::kAccepted;
    }
    LOG_ERROR("DeviceIoControl failed, error code:%d", LastError());
    return VersionCheck::kRejected;
  }
  if (version == DRIVER_VERSION_EXPECTED) return VersionCheck::kAccepted;
  LOG_ERROR("DeviceIoControl failed, driver version:%d code version:%d", static_cast<int>(version),
            static_cast<int>(DRIVER_VERSION_EXPECTED));
  return VersionCheck::kOtherVersion;
}

}  // namespace

const wchar_t* VeraCryptDriverFile() { return IsWow64() ? L"Velmdisk2-x64.sys" : L"Velmdisk2.sys"; }

const wchar_t* VirtualDiskDriverFile() { return IsWow64() ? L"Velmdisk-x64.sys" : L"Velmdisk.sys"; }

bool LoadDriver(const std::wstring& service, const std::wstring& file) {
  const std::wstring imagePath = GetDriversDir() + L"\\" + file;
  bool retried = false;
  bool result = false;
  // Every pass closes its handles before the next: a deleted registration
  // goes only once no handle to it is left.
  while (LoadOnce(service, imagePath, &retried, &result) == LoadStep::kRetry) {
  }
  return result;
}

bool UnloadDriver(const std::wstring& service) {
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager failed, error code:%d", LastError());
    return false;
  }
  UniqueScHandle handle(OpenServiceW(manager.get(), service.c_str(), SERVICE_ALL_ACCESS));
  if (!handle) {
    LOG_ERROR("OpenService failed, error code:%d", LastError());
    return false;
  }
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(handle.get(), &status)) {
    LOG_ERROR("QueryServiceStatus failed, error code:%d", LastError());
    return false;
  }
  bool stopped = false;
  if (status.dwCurrentState != SERVICE_STOPPED) {
    ControlService(handle.get(), SERVICE_CONTROL_STOP, &status);
    for (int check = 0; check < kStopChecks; ++check) {
      if (!QueryServiceStatus(handle.get(), &status)) {
        LOG_ERROR("QueryServiceStatus failed, error code:%d", LastError());
      } else if (status.dwCurrentState == SERVICE_STOPPED) {
        stopped = true;
        break;
      }
      Sleep(kStopPollMs);
    }
  }
  DeleteService(handle.get());
  return stopped;
}

bool CheckDrive(const std::wstring& service, const std::wstring& device, bool checkVersion, const std::wstring& file) {
  for (int reloads = 0;; ++reloads) {
    UniqueFile handle = OpenDevice(device, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!handle) {
      // The normal case of a first installation: the driver is not loaded.
      LOG_ERROR("CreateFile failed, error code:%d", LastError());
      if (!LoadDriver(service, file)) {
        LOG_ERROR("LoadDriver failed");
        return false;
      }
      handle = OpenDevice(device, 0);
      if (!handle) {
        LOG_ERROR("CreateFile failed, error code:%d", LastError());
        return false;
      }
    }
    if (!checkVersion) return true;

    const VersionCheck check = CheckVersion(handle.get());
    if (check != VersionCheck::kOtherVersion) return check == VersionCheck::kAccepted;
    handle.reset();
    // A driver that cannot be stopped (one holding mounted volumes, say)
    // keeps answering with its version: give up instead of cycling forever.
    if (reloads == kMaxDriverReloads) {
      LOG_ERROR("CheckDrive() gave up after %d reloads", kMaxDriverReloads);
      return false;
    }
    // The device should now be missing, so the next pass loads the file the
    // extraction has just written.
    UnloadDriver(service);
  }
}

bool InstallDriver(InstallSettings& settings) {
  settings.SetStatusText(L"正在安装驱动...");
  if (!CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile())) {
    LOG_ERROR("CheckDrive() failed");
    return false;
  }
  if (!CheckDrive(kVirtualDiskService, kVirtualDiskDevice, false, VirtualDiskDriverFile())) {
    LOG_ERROR("CheckDrive() failed");
  }

  settings.SetStatusText(L"正在安装服务...");
  const std::wstring program = settings.installFolder + L"\\" + kProtectServiceProgram;
  // Removes the registration an earlier installation left; none is fine.
  Service_DeleteService(kProtectServiceName);
  // Quoted: the install folder normally has a blank ("Program Files").
  if (!Service_InstallDriver(kProtectServiceName, kProtectServiceDescription, QuotedImagePath(program))) {
    LOG_ERROR("Service_InstallDriver() failed, path:%s", CStringToMultiByte(program).get());
    return false;
  }

  settings.SetStatusText(L"正在启动服务...");
  if (Service_StartService(kProtectServiceName)) return true;
  LOG_ERROR("Service_StartService() failed, path:%s", CStringToMultiByte(kProtectServiceName).get());
  return false;
}

}  // namespace qrn
