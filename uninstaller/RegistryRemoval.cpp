#include "uninstaller/RegistryRemoval.h"

#include <windows.h>

#include "base/Owners.h"
#include "base/Product.h"
#include "log/Log.h"
#include "system/SetupInfo.h"
#include "uninstaller/RemovalPlan.h"

namespace qrn {
namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

struct FileType {
  const wchar_t* extension;
  const wchar_t* typeKey;
};

// As the installer's registry stage writes them.
constexpr FileType kFileTypes[] = {
    {L".safe", L"qrn_safe_file"},
    {L".qrn", L"qrnFile"},
    {L".iqrn", L"iqrnFile"},
};

bool IsMissing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// Deletes `subKey` of `root` and everything below it in the 32-bit view.
// RegDeleteTreeW takes no view of its own: it works below a key opened in
// the right view; the key itself then goes with RegDeleteKeyExW.
bool DeleteKeyTree(HKEY root, const std::wstring& subKey) {
  const std::unique_ptr<char[]> name = CStringToMultiByte(subKey);
  {
    UniqueHKey key;
    LSTATUS status = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | DELETE | KEY_SET_VALUE | kView, key.put());
    if (IsMissing(status)) return true;
    if (status != ERROR_SUCCESS) {
      LOG_ERROR("RegOpenKeyEx() failed, error code:%d strKey:%s", static_cast<int>(status), name.get());
      return false;
    }
    status = RegDeleteTreeW(key.get(), nullptr);
    if (status != ERROR_SUCCESS) {
      LOG_ERROR("RegDeleteTree() failed, error code:%d strKey:%s", static_cast<int>(status), name.get());
      return false;
    }
  }
  const LSTATUS status = RegDeleteKeyExW(root, subKey.c_str(), kView, 0);
  if (status != ERROR_SUCCESS && !IsMissing(status)) {
    LOG_ERROR("RegDeleteKeyEx() failed, error code:%d strKey:%s", static_cast<int>(status), name.get());
    return false;
  }
  LOG_DEBUG("registry key removed:%s", name.get());
  return true;
}

// The key's string value; false when the key or value is missing or is not
// a string that fits.
bool ReadString(HKEY root, const std::wstring& subKey, const wchar_t* value, std::wstring* text) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE | kView, key.put()) != ERROR_SUCCESS) return false;
  wchar_t buffer[1024] = {};
  DWORD type = 0;
  DWORD bytes = sizeof buffer - sizeof(wchar_t);  // room for a terminator the data may lack
  if (RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  buffer[bytes / sizeof(wchar_t)] = L'\0';
  *text = buffer;
  return true;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

bool RemoveFileTypes() {
  bool ok = true;
  for (const FileType& type : kFileTypes) {
    std::wstring current;
    if (!ReadString(HKEY_CLASSES_ROOT, type.extension, nullptr, &current)) {
      // Missing, or without the name of a type: nothing says it is ours.
    } else if (!SameText(current, type.typeKey)) {
      LOG_WARNING("file type %s now belongs to %s, left alone", CStringToMultiByte(type.extension).get(),
                  CStringToMultiByte(current).get());
    } else if (!DeleteKeyTree(HKEY_CLASSES_ROOT, type.extension)) {
      ok = false;
    }
    if (!DeleteKeyTree(HKEY_CLASSES_ROOT, type.typeKey)) ok = false;
  }
  return ok;
}

bool RemoveUninstallEntry(const std::wstring& uninstallerPath) {
  bool ok = true;
  std::wstring named;
  // The entry may spell the path in its short form; the uninstaller still
  // exists here, so the long form can be asked for.
  if (ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", &named) && !SameText(named, uninstallerPath) &&
      !SameText(LongPathForm(named), uninstallerPath)) {
    LOG_WARNING("uninstall entry names another installation, left alone:%s", CStringToMultiByte(named).get());
  } else if (!DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey)) {
    ok = false;
  }
  if (!DeleteKeyTree(HKEY_CURRENT_USER, kUninstallKey)) ok = false;
  return ok;
}

}  // namespace qrn
