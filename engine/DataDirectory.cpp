#include "engine/DataDirectory.h"

#include <windows.h>
#include <shlwapi.h>

#include "engine/AccessRights.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {
constexpr OsVersionCode kWindowsVista = 11;  // NT 6.0 workstation
}  // namespace

bool CreateAppDataDirectory(InstallSettings&) {
  const std::wstring folder = GetAppDataDir();
  if (!PathFileExistsW(folder.c_str()) && !CreateDirectoryW(folder.c_str(), nullptr)) {
    LOG_ERROR("CreateDirectory() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  if (GetOSVersionCode() == kWindowsVista) {
    SetNullDacl(folder.c_str());
    const bool users = AddAccountAceToFolder(folder.c_str(), L"Users", GENERIC_ALL);
    const bool admins = AddAccountAceToFolder(folder.c_str(), L"Administrators", GENERIC_ALL);
    return users && admins;
  }
  return AddAccountAceToFolder(folder.c_str(), L"users", GENERIC_ALL);
}

}  // namespace qrn
