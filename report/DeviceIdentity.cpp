#include "report/DeviceIdentity.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

#include "log/Log.h"

namespace qrn {
namespace {

const char kSection[] = "user_info";
const char kDeviceIdKey[] = "deviceID";
const char kUidKey[] = "uid";

// Filled by the first successful GetDeviceID and kept for the process; only
// the install thread asks, so it takes no lock.
std::string& DeviceIdCache() {
  static std::string cache;
  return cache;
}

// The wide query of the common application-data folder, made only to learn
// whether the folder can be determined at all; its path is not used.
bool ProbeCommonAppData() {
  wchar_t path[MAX_PATH] = {};
  const HRESULT result =
      SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(result)) {
    LOG_ERROR("SHGetFolderPathW() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

std::string InstallDbPath() { return GetInstallDbFolder() + "\\install.db"; }

// Reads one value of [user_info] into a 50-byte buffer (49 characters at
// most); an empty or missing value is logged as a warning.
std::string ReadUserInfo(const char* key, const std::string& path) {
  char value[50] = {};
  const DWORD length = GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path.c_str());
  if (length == 0) {
    LOG_WARNING("GetPrivateProfileStringA() failed, error code:%d return length:%d", static_cast<int>(GetLastError()),
                static_cast<int>(length));
  }
  return value;
}

}  // namespace

std::string GetInstallDbFolder() {
  char folder[MAX_PATH] = {};
  const HRESULT result =
      SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(result)) {
    LOG_ERROR("SHGetFolderPathA() failed, error code:%d", static_cast<int>(GetLastError()));
    return std::string();
  }
  return std::string(folder) + "\\TolvekApplication";
}

std::string FormatDeviceGuid(const GUID& guid) {
  char text[64] = {};
  snprintf(text, sizeof text, "{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
           guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::string GetDeviceID() {
  std::string& cache = DeviceIdCache();
  if (!cache.empty()) return cache;
  if (!ProbeCommonAppData()) return std::string();

  const std::string path = InstallDbPath();
  cache = ReadUserInfo(kDeviceIdKey, path);
  if (!cache.empty()) return cache;

  GUID guid{};
  const HRESULT created = CoCreateGuid(&guid);
  if (FAILED(created)) {
    LOG_ERROR("CoCreateGuid() failed, error code:%d", static_cast<int>(GetLastError()));
    return cache;
  }
  cache = FormatDeviceGuid(guid);
  // A folder that does not exist (Tolvek never installed) makes this fail;
  // the identifier then serves this run only.
  if (!WritePrivateProfileStringA(kSection, kDeviceIdKey, cache.c_str(), path.c_str())) {
    LOG_ERROR("WritePrivateProfileStringA() failed, error code:%d", static_cast<int>(GetLastError()));
  }
  return cache;
}

std::string GetUid() {
  if (!ProbeCommonAppData()) return std::string();
  return ReadUserInfo(kUidKey, InstallDbPath());
}

void ResetDeviceIdCacheForTesting() { DeviceIdCache().clear(); }

}  // namespace qrn
