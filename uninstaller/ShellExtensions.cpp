#include "uninstaller/ShellExtensions.h"

#include <windows.h>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// By full path: a bare "regsvr32" would be looked up in the current folder
// and the program's folder first. From a 32-bit process on 64-bit Windows
// this reaches SysWOW64's regsvr32, which hands a 64-bit library on to the
// 64-bit regsvr32 itself.
std::wstring Regsvr32Path() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(system, length) + L"\\regsvr32.exe";
}

bool RunAndWait(const std::wstring& dllPath) {
  std::wstring command = UnregisterDllCommandLine(dllPath);
  const std::unique_ptr<char[]> ansi = CStringToMultiByte(command);
  LOG_DEBUG("running %s", ansi.get());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      process.put())) {
    LOG_ERROR("CreateProcess() failed, error code:%d path:%s", static_cast<int>(GetLastError()), ansi.get());
    return false;
  }
  if (WaitForSingleObject(process.get().hProcess, kRegsvr32WaitMs) != WAIT_OBJECT_0) {
    LOG_ERROR("regsvr32 did not end in time, ended:%s", ansi.get());
    TerminateProcess(process.get().hProcess, 1);
    return false;
  }
  DWORD exitCode = 1;
  GetExitCodeProcess(process.get().hProcess, &exitCode);
  if (exitCode != 0) {
    LOG_ERROR("regsvr32 failed, exit code:%d path:%s", static_cast<int>(exitCode), ansi.get());
    return false;
  }
  return true;
}

}  // namespace

std::wstring UnregisterDllCommandLine(const std::wstring& dllPath) {
  return L"\"" + Regsvr32Path() + L"\" -u -s \"" + dllPath + L"\"";
}

bool UnregisterShellExtensions(const std::wstring& installFolder) {
  bool allDone = true;
  for (const wchar_t* dll : kShellExtensionDlls) {
    const std::wstring path = installFolder + L"\\" + dll;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (!RunAndWait(path)) allDone = false;
  }
  return allDone;
}

}  // namespace qrn
