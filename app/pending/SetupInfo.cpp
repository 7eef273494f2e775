// INTERIM: see SetupInfo.h. Logs as the system room does.
#include "app/pending/SetupInfo.h"

#include <shlobj.h>

#include <cwchar>

#include "base/Owners.h"
#include "log/Log.h"

namespace qrn {
namespace {

int LastError() { return static_cast<int>(::GetLastError()); }

std::wstring ReadUninstallString(const wchar_t* key) {
  UniqueHKey opened;
  // KEY_WOW64_32KEY: the 32-bit view, where the 32-bit installer's entries live.
  LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, opened.put());
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegOpenKeyEx() failed, error code:%d", static_cast<int>(status));
    return std::wstring();
  }
  wchar_t value[260] = {};
  DWORD size = sizeof value - sizeof value[0];
  status =
      ::RegQueryValueExW(opened.get(), L"UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegQueryValueEx() failed, error code:%d", static_cast<int>(status));
    return std::wstring();
  }
  return value;
}

}  // namespace

std::wstring GetAppDataDir() {
  wchar_t folder[MAX_PATH] = {};
  const HRESULT result =
      ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(result)) {
    LOG_ERROR("SHGetFolderPath failed, error code:%d", LastError());
    folder[0] = L'\0';
  }
  return std::wstring(folder) + L"\\Quorrin";
}

std::wstring GetDefaultInstallDir() {
  static std::wstring cached;
  if (!cached.empty()) return cached;
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) {
    LOG_ERROR("SHGetSpecialFolderPath() failed, error code:%d", LastError());
    return std::wstring();
  }
  cached = std::wstring(folder) + L"\\Quorrin";
  return cached;
}

std::wstring GetUninstallString() {
  return ReadUninstallString(
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B1D4E20-8C3A-4F57-9E21-0A7C53D9B184}");
}

std::wstring GetEarlierUninstallString() {
  return ReadUninstallString(
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{3F8E2C71-5A06-4D9B-A4E3-7B15C0D2E968}");
}

BOOL IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static BOOL known = FALSE;
  static BOOL wow64 = FALSE;
  if (known) return wow64;
  known = TRUE;
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process")));
  if (isWow64Process == nullptr) {
    LOG_ERROR("GetProcAddress failed, error code:%d", LastError());
    return wow64;
  }
  if (!isWow64Process(::GetCurrentProcess(), &wow64)) wow64 = FALSE;
  return wow64;
}

bool LoadSys64Fun() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  if (::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection") == nullptr ||
      ::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection") == nullptr) {
    LOG_ERROR("GetProcAddress failed, error code:%d", LastError());
    return false;
  }
  return true;
}

std::wstring GetDiskFreeText(const std::wstring& path, uint64_t* freeBytes) {
  const std::wstring drive = path.substr(0, 2);
  ULARGE_INTEGER available{}, total{}, totalFree{};
  if (!::GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &totalFree)) {
    LOG_ERROR("GetDiskFreeSpaceEx() failed, error code:%d", LastError());
    return std::wstring();
  }
  if (freeBytes != nullptr) *freeBytes = totalFree.QuadPart;
  const double bytes = static_cast<double>(totalFree.QuadPart);
  wchar_t text[64];
  if (bytes / 1073741824.0 > 1.0) {
    std::swprintf(text, 64, L"%.2fGB", bytes / 1073741824.0);
  } else {
    std::swprintf(text, 64, L"%.0fMB", bytes / 1048576.0);
  }
  return text;
}

bool CreateFileFromResource(const std::wstring& path, UINT id, LPCWSTR type) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) {
    LOG_ERROR("FindResource failed, error code:%d", LastError());
    return false;
  }
  HGLOBAL loaded = ::LoadResource(self, found);
  if (loaded == nullptr) {
    LOG_ERROR("LoadResource failed, error code:%d", LastError());
    return false;
  }
  const void* data = ::LockResource(loaded);
  if (data == nullptr) {
    LOG_ERROR("LockResource failed, error code:%d", LastError());
    return false;
  }
  const DWORD size = ::SizeofResource(self, found);
  UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LOG_ERROR("CreateFile failed, error code:%d", LastError());
    return false;
  }
  DWORD written = 0;
  if (!::WriteFile(file.get(), data, size, &written, nullptr) || written != size) {
    LOG_ERROR("WriteFile failed, error code:%d", LastError());
    return false;
  }
  if (!::CloseHandle(file.release())) {
    LOG_ERROR("CloseHandle failed, error code:%d", LastError());
    return false;
  }
  return true;
}

BOOL MakePath(const std::wstring& path) {
  if (path.empty()) return FALSE;
  // Every prefix that ends before a backslash, then the whole path.
  for (size_t end = path.find(L'\\', 1);; end = path.find(L'\\', end + 1)) {
    const std::wstring part = end == std::wstring::npos ? path : path.substr(0, end);
    const bool drive = part.size() == 2 && part[1] == L':';
    if (!part.empty() && !drive && !::CreateDirectoryW(part.c_str(), nullptr)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_ALREADY_EXISTS) {
        LOG_ERROR("CreateDirectory() failed, error code:%d", static_cast<int>(error));
        return FALSE;
      }
    }
    if (end == std::wstring::npos) break;
  }
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE;
}

}  // namespace qrn
