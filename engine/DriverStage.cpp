#include "engine/DriverStage.h"

#include <memory>
#include <vector>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/NewerKernel32.h"
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

bool DeviceAnswers(const std::wstring& device) {
  return static_cast<bool>(OpenDevice(device, FILE_SHARE_READ | FILE_SHARE_WRITE));
}

// Whether the service is registered as LoadDriver registers `imagePath`:
// kernel driver, system start, normal error control, that file (any case).
bool IsRegisteredAs(SC_HANDLE service, const std::wstring& imagePath) {
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0 || needed > 64 * 1024) return false;
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, needed, &needed) || config->lpBinaryPathName == nullptr) return false;
  return config->dwServiceType == SERVICE_KERNEL_DRIVER && config->dwStartType == SERVICE_SYSTEM_START &&
         config->dwErrorControl == SERVICE_ERROR_NORMAL &&
         EqualOrdinalIgnoreCase(imagePath.c_str(), static_cast<int>(imagePath.size()), config->lpBinaryPathName);
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
  if (status.dwCurrentState == SERVICE_STOPPED) {
    DeleteService(handle.get());
    return false;
  }
  ControlService(handle.get(), SERVICE_CONTROL_STOP, &status);
  for (int check = 0; check < kStopChecks; ++check) {
    if (!QueryServiceStatus(handle.get(), &status)) {
      LOG_ERROR("QueryServiceStatus failed, error code:%d", LastError());
    } else if (status.dwCurrentState == SERVICE_STOPPED) {
      DeleteService(handle.get());
      return true;
    }
    Sleep(kStopPollMs);
  }
  // Deleted now, the registration of a driver that stays loaded (one
  // holding a mounted volume refuses to stop) would go for good, and the
  // driver would not be loaded at the next start of Windows.
  LOG_ERROR("UnloadDriver() driver did not stop, its service stays:%s", CStringToMultiByte(service).get());
  return false;
}

bool RegisterRunningDriver(const std::wstring& service, const std::wstring& file) {
  const std::wstring imagePath = GetDriversDir() + L"\\" + file;
  const std::unique_ptr<char[]> ansiService = CStringToMultiByte(service);
  UniqueScHandle manager = OpenManager();
  if (!manager) {
    LOG_ERROR("OpenSCManager failed, error code:%d", LastError());
    return false;
  }
  UniqueScHandle handle(OpenServiceW(manager.get(), service.c_str(), SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG));
  if (!handle) {
    const DWORD openError = GetLastError();
    if (openError != ERROR_SERVICE_DOES_NOT_EXIST) {
      LOG_ERROR("OpenService failed, error code:%d", static_cast<int>(openError));
      return false;
    }
    // Not started: the driver runs already, and a second load of it would
    // fail on its device name.
    handle.reset(CreateServiceW(manager.get(), service.c_str(), service.c_str(), SERVICE_ALL_ACCESS,
                                SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL, imagePath.c_str(),
                                nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!handle) {
      LOG_ERROR("CreateService failed, error code:%d", LastError());
      return false;
    }
    LOG_WARNING("driver loaded without its service, service created again:%s", ansiService.get());
    return true;
  }
  const bool differed = !IsRegisteredAs(handle.get(), imagePath);
  // Changed in place, never deleted and made again: the service of a
  // loaded driver would only be marked for deletion, and go at the next
  // start of Windows. Asked even when nothing differs, since only the change
  // tells a registration an older uninstaller marked so: it cannot be
  // changed (ERROR_SERVICE_MARKED_FOR_DELETE), nor made again, while the
  // driver stays loaded.
  if (!ChangeServiceConfigW(handle.get(), SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,
                            imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    LOG_ERROR("ChangeServiceConfig failed, error code:%d", LastError());
    return false;
  }
  if (differed) {
    LOG_WARNING("service of a loaded driver changed to load %s:%s", CStringToMultiByte(imagePath).get(),
                ansiService.get());
  }
  return true;
}

namespace {

// What CheckDriveState found. kUnregistered: the driver answers as wanted
// now but could not be registered to load at the next start of Windows.
enum class DriveState { kReady, kUnregistered, kFailed };

DriveState CheckDriveState(const std::wstring& service, const std::wstring& device, bool checkVersion,
                           const std::wstring& file) {
  for (int reloads = 0;; ++reloads) {
    UniqueFile handle = OpenDevice(device, FILE_SHARE_READ | FILE_SHARE_WRITE);
    // A driver found loaded may have been loaded by an earlier installation
    // whose uninstaller could not stop it: its registration may be missing
    // or name another file, and it is made right below.
    const bool foundLoaded = static_cast<bool>(handle);
    if (!handle) {
      // The normal case of a first installation: the driver is not loaded.
      LOG_ERROR("CreateFile failed, error code:%d", LastError());
      if (!LoadDriver(service, file)) {
        LOG_ERROR("LoadDriver failed");
        return DriveState::kFailed;
      }
      handle = OpenDevice(device, 0);
      if (!handle) {
        LOG_ERROR("CreateFile failed, error code:%d", LastError());
        return DriveState::kFailed;
      }
    }
    const VersionCheck check = checkVersion ? CheckVersion(handle.get()) : VersionCheck::kAccepted;
    if (check == VersionCheck::kRejected) return DriveState::kFailed;
    if (check == VersionCheck::kAccepted) {
      if (!foundLoaded || RegisterRunningDriver(service, file)) return DriveState::kReady;
      LOG_ERROR("CheckDrive() driver loaded, but not registered to load at the next start of Windows");
      return DriveState::kUnregistered;
    }
    handle.reset();
    // A driver that cannot be stopped (one holding mounted volumes, say)
    // keeps answering with its version: give up instead of cycling forever.
    if (reloads == kMaxDriverReloads) {
      LOG_ERROR("CheckDrive() gave up after %d reloads", kMaxDriverReloads);
      return DriveState::kFailed;
    }
    // The device should now be missing, so the next pass loads the file the
    // extraction has just written. A driver that refuses to stop stays for
    // this session; the next start of Windows loads this installation's file.
    if (!UnloadDriver(service) && DeviceAnswers(device)) {
      LOG_ERROR("CheckDrive() driver of another version stays loaded until the next start of Windows");
      RegisterRunningDriver(service, file);
      return DriveState::kFailed;
    }
  }
}

}  // namespace

bool CheckDrive(const std::wstring& service, const std::wstring& device, bool checkVersion, const std::wstring& file) {
  return CheckDriveState(service, device, checkVersion, file) == DriveState::kReady;
}

bool InstallDriver(InstallSettings& settings) {
  settings.SetStatusText(L"正在安装驱动...");
  // A driver that answers but could not be registered (kUnregistered) works
  // for this session: the stage goes on and fails at the end.
  const DriveState veraCrypt = CheckDriveState(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile());
  if (veraCrypt == DriveState::kFailed) {
    LOG_ERROR("CheckDrive() failed");
    return false;
  }
  const DriveState virtualDisk =
      CheckDriveState(kVirtualDiskService, kVirtualDiskDevice, false, VirtualDiskDriverFile());
  if (virtualDisk != DriveState::kReady) LOG_ERROR("CheckDrive() failed");
  const bool registered = veraCrypt == DriveState::kReady;

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
  if (Service_StartService(kProtectServiceName)) return registered;
  LOG_ERROR("Service_StartService() failed, path:%s", CStringToMultiByte(kProtectServiceName).get());
  return false;
}

}  // namespace qrn
