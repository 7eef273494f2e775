#include "system/SetupInfo.h"

#include <shlobj.h>

#include <cstdio>
#include <new>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/NewerKernel32.h"

namespace qrn {
namespace {

int LastError() { return static_cast<int>(GetLastError()); }

// GetProcAddress hands out a generic function pointer; going through
// void(*)() keeps -Wcast-function-type quiet about the real signature.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// SHGetSpecialFolderPathW into a string; empty (and logged) on failure.
std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) {
    LOG_ERROR("SHGetSpecialFolderPath() failed, error code:%d", LastError());
    return std::wstring();
  }
  return path;
}

// Fills a folder cache on first use. A failed query leaves it empty, so the
// next call asks again instead of handing out a folder nobody knows.
template <typename Compute>
std::wstring Cached(std::wstring& cache, Compute compute) {
  if (cache.empty()) cache = compute();
  return cache;
}

std::wstring ReadUninstallString(const wchar_t* keyName) {
  UniqueHKey key;
  // KEY_WOW64_32KEY: the 32-bit view, where the 32-bit installer's entries
  // live (WOW6432Node on 64-bit Windows). A no-op for the 32-bit build; it
  // makes a 64-bit build read the same place.
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, key.put());
  if (status != ERROR_SUCCESS) {
    // Registry calls return their error code instead of setting the last error.
    LOG_ERROR("RegOpenKeyEx() failed, error code:%d", static_cast<int>(status));
    return std::wstring();
  }
  // One character more than the size passed, so that a value that fills
  // the buffer without its own terminator still ends in one.
  wchar_t value[MAX_PATH + 1] = {};
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  status = RegQueryValueExW(key.get(), L"UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &bytes);
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegQueryValueEx() failed, error code:%d", static_cast<int>(status));
    return std::wstring();
  }
  return value;
}

// ---- WOW64 state ----
BOOL g_wow64 = FALSE;
BOOL g_wow64Known = FALSE;
int g_wow64Override = -1;

// ---- version cache ----
OsVersionCode g_versionCode = 0;
BOOL g_versionKnown = FALSE;

// ---- redirection entry points ----
using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);
UniqueHModule g_kernelLibrary;
Wow64DisableFn m_FunWow64DisableWow64FsRedirection = nullptr;
Wow64RevertFn m_FunWow64RevertWow64FsRedirection = nullptr;
// Whether this thread has switched its redirection off. The first switch
// hands out a null old value (the previous state, "on", is zero), so the
// old value alone cannot tell "switched off" from "never switched".
thread_local bool t_redirectionOff = false;
// The value the switch handed out, to switch back with.
thread_local PVOID t_redirectionOld = nullptr;

}  // namespace

// ---- Folders ----

std::wstring GetAppDataDir() {
  wchar_t folder[MAX_PATH] = {};
  const HRESULT hr =
      SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(hr)) {
    LOG_ERROR("SHGetFolderPath failed, error code:%d", LastError());
    // No folder is known: "\Quorrin" would put the data folder at the root
    // of whatever drive is current.
    return std::wstring();
  }
  return std::wstring(folder) + L"\\" + kProductFolderName;
}

std::wstring GetDefaultInstallDir() {
  static std::wstring cache;
  return Cached(cache, [] {
    const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    return programFiles.empty() ? programFiles : programFiles + L"\\" + kProductFolderName;
  });
}

std::wstring GetSystemX86Dir() {
  static std::wstring cache;
  return Cached(cache, [] { return SpecialFolder(CSIDL_SYSTEMX86); });
}

std::wstring GetDriversDir() {
  static std::wstring cache;
  return Cached(cache, [] {
    const std::wstring system = SpecialFolder(CSIDL_SYSTEM);
    return system.empty() ? system : system + L"\\drivers";
  });
}

// ---- Earlier installations ----

std::wstring GetUninstallString() { return ReadUninstallString(kUninstallKey); }

std::wstring GetEarlierUninstallString() { return ReadUninstallString(kEarlierUninstallKey); }

// ---- Machine ----

BOOL IsWow64() {
  if (g_wow64Override >= 0) return g_wow64Override != 0 ? TRUE : FALSE;
  if (g_wow64Known) return g_wow64;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64Process = ProcAs<IsWow64ProcessFn>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process"));
  BOOL answer = FALSE;
  if (isWow64Process == nullptr) {
    LOG_ERROR("GetProcAddress failed, error code:%d", LastError());
  } else if (!isWow64Process(GetCurrentProcess(), &answer)) {
    answer = FALSE;
  }
  g_wow64 = answer;
  g_wow64Known = TRUE;
  return g_wow64;
}

void SetIsWow64ForTesting(int answer) { g_wow64Override = answer < 0 ? -1 : (answer != 0 ? 1 : 0); }

OsVersionCode ClassifyOsVersion(DWORD platformId, DWORD major, DWORD minor, BYTE productType) {
  const bool workstation = productType == VER_NT_WORKSTATION;
  // 0 Win32s, 1 Windows 9x, 2 NT.
  switch (platformId) {
    case 0:
      return 1;
    case 1:
      if (major != 4) return 0;
      if (minor == 0) return 2;
      if (minor == 10) return 3;
      if (minor == 90) return 4;
      return 0;
    case 2:
      break;
    default:
      return 0;
  }
  if (major == 4) return 6;
  if (major == 5) {
    if (minor == 0) return 7;
    if (minor == 1) return 8;
    if (minor == 2) return (productType == VER_NT_SERVER || productType == VER_NT_DOMAIN_CONTROLLER) ? 10 : 9;
    return 0;
  }
  if (major == 6 && minor <= 3) return static_cast<int>(11 + 2 * minor) + (workstation ? 0 : 1);
  if (major == 10 && minor == 0) return workstation ? 19 : 20;
  return 0;
}

OsVersionCode GetOSVersionCode() {
  if (g_versionKnown) return g_versionCode;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    LOG_ERROR("GetVersionExW failed, error code:%d", LastError());
    return 0;
  }
  g_versionCode = ClassifyOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.wProductType);
  g_versionKnown = TRUE;
  return g_versionCode;
}

std::wstring FormatDiskFreeText(uint64_t freeBytes) {
  const double bytes = static_cast<double>(freeBytes);
  const double gib = bytes / 1073741824.0;
  wchar_t text[64];
  if (gib > 1.0) {
    swprintf(text, sizeof text / sizeof text[0], L"%.2fGB", gib);
  } else {
    swprintf(text, sizeof text / sizeof text[0], L"%.0fMB", bytes / 1048576.0);
  }
  return text;
}

std::wstring GetDiskFreeText(const std::wstring& path, uint64_t* freeBytes) {
  const std::wstring drive = path.substr(0, 2);
  ULARGE_INTEGER available{}, total{}, totalFree{};
  if (!GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &totalFree)) {
    LOG_ERROR("GetDiskFreeSpaceEx() failed, error code:%d", LastError());
    return std::wstring();
  }
  // The volume's free bytes, not the caller's quota-limited share.
  if (freeBytes != nullptr) *freeBytes = totalFree.QuadPart;
  return FormatDiskFreeText(totalFree.QuadPart);
}

// ---- File-system redirection ----

bool LoadSys64Fun() {
  // By full path from the system folder, never through the search order.
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 14 >= MAX_PATH) {
    LOG_ERROR("GetSystemDirectory failed, error code:%d", LastError());
    return false;
  }
  wcscat(path, L"\\Kernel32.dll");
  g_kernelLibrary.reset(LoadLibraryW(path));
  if (!g_kernelLibrary) {
    LOG_ERROR("LoadLibrary failed, error code:%d", LastError());
    return false;
  }
  m_FunWow64DisableWow64FsRedirection =
      ProcAs<Wow64DisableFn>(GetProcAddress(g_kernelLibrary.get(), "Wow64DisableWow64FsRedirection"));
  if (m_FunWow64DisableWow64FsRedirection == nullptr) {
    LOG_ERROR("GetProcAddress failed, error code:%d", LastError());
    return false;
  }
  m_FunWow64RevertWow64FsRedirection =
      ProcAs<Wow64RevertFn>(GetProcAddress(g_kernelLibrary.get(), "Wow64RevertWow64FsRedirection"));
  if (m_FunWow64RevertWow64FsRedirection == nullptr) {
    LOG_ERROR("GetProcAddress failed, error code:%d", LastError());
    return false;
  }
  return true;
}

// The entry points stay: kernel32 is never unloaded from a process.
void FreeSys64Fun() { g_kernelLibrary.reset(); }

// A 64-bit build told by SetIsWow64ForTesting to answer TRUE stands in for
// the 32-bit installer on 64-bit Windows. It has nothing to redirect (its
// System32 already is the native folder) and Windows refuses the switch, so
// the switch succeeds here without a system call.
bool StandingInForWow64() {
  if (g_wow64Override != 1) return false;
  BOOL real = FALSE;
  return IsWow64ProcessLate(GetCurrentProcess(), &real) && !real;
}

bool DisableWow64Redirection(PVOID* oldValue) {
  if (StandingInForWow64() && m_FunWow64DisableWow64FsRedirection != nullptr) {
    *oldValue = nullptr;
    t_redirectionOff = true;
    return true;
  }
  if (m_FunWow64DisableWow64FsRedirection == nullptr) {
    // LoadSys64Fun has not succeeded: refuse rather than call through null.
    SetLastError(ERROR_PROC_NOT_FOUND);
    LOG_ERROR("m_FunWow64DisableWow64FsRedirection failed, error code:%d", LastError());
    return false;
  }
  if (!m_FunWow64DisableWow64FsRedirection(oldValue)) {
    LOG_ERROR("m_FunWow64DisableWow64FsRedirection failed, error code:%d", LastError());
    return false;
  }
  t_redirectionOff = true;
  t_redirectionOld = *oldValue;
  return true;
}

HMODULE LoadLibraryRedirected(const char* dll) {
  // Nothing to do where this thread's redirection is on, or where a 64-bit
  // build only stands in (it switched nothing).
  if (!t_redirectionOff || StandingInForWow64() || m_FunWow64RevertWow64FsRedirection == nullptr ||
      m_FunWow64DisableWow64FsRedirection == nullptr) {
    return nullptr;
  }
  if (!m_FunWow64RevertWow64FsRedirection(t_redirectionOld)) return nullptr;
  HMODULE module = LoadLibraryA(dll);
  const DWORD error = GetLastError();
  PVOID old = nullptr;
  if (m_FunWow64DisableWow64FsRedirection(&old)) {
    t_redirectionOld = old;
  } else {
    // The thread goes on with redirection on: its later writes would land
    // in the 32-bit folders, so say so.
    t_redirectionOff = false;
    LOG_ERROR("m_FunWow64DisableWow64FsRedirection failed, error code:%d", LastError());
  }
  SetLastError(error);
  return module;
}

bool EnableWow64Redirection(PVOID oldValue) {
  // Nothing to revert when this thread never switched redirection off (as
  // on 32-bit Windows). A null old value alone does not say so.
  if (oldValue == nullptr && !t_redirectionOff) return true;
  if (StandingInForWow64() && m_FunWow64RevertWow64FsRedirection != nullptr) {
    t_redirectionOff = false;
    return true;
  }
  if (m_FunWow64RevertWow64FsRedirection == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    LOG_ERROR("m_FunWow64RevertWow64FsRedirection failed, error code:%d", LastError());
    return false;
  }
  if (!m_FunWow64RevertWow64FsRedirection(oldValue)) {
    LOG_ERROR("m_FunWow64RevertWow64FsRedirection failed, error code:%d", LastError());
    return false;
  }
  t_redirectionOff = false;
  return true;
}

// ---- Resources and strings ----

bool CreateFileFromResource(const std::wstring& path, int id, LPCWSTR type) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  if (resource == nullptr) {
    LOG_ERROR("FindResource failed, error code:%d", LastError());
    return false;
  }
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) {
    LOG_ERROR("LoadResource failed, error code:%d", LastError());
    return false;
  }
  const void* data = LockResource(loaded);
  if (data == nullptr) {
    LOG_ERROR("LockResource failed, error code:%d", LastError());
    return false;
  }
  const DWORD size = SizeofResource(nullptr, resource);
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LOG_ERROR("CreateFile failed, error code:%d", LastError());
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), data, size, &written, nullptr) || written != size) {
    if (written != size && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    LOG_ERROR("WriteFile failed, error code:%d", LastError());
    return false;
  }
  if (!CloseHandle(file.release())) {
    LOG_ERROR("CloseHandle failed, error code:%d", LastError());
    return false;
  }
  return true;
}

std::wstring MultiByteToCString(const char* ansi) {
  if (ansi == nullptr) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));  // drop the converted terminator
  return wide;
}

std::unique_ptr<char[]> CStringToMultiByte(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int n = length == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::unique_ptr<char[]> ansi(new (std::nothrow) char[static_cast<size_t>(n > 0 ? n : 0) + 1]);
  if (!ansi) return ansi;
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.get(), n, nullptr, nullptr);
  ansi[n > 0 ? n : 0] = '\0';
  return ansi;
}

}  // namespace qrn
