#include "engine/ProcessControl.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

std::wstring LocalName(const std::wstring& name) { return L"Local\\" + name; }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

}  // namespace

bool SignalNamedEvent(const std::wstring& name) {
  UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, LocalName(name).c_str()));
  if (!event) return false;
  SetEvent(event.get());
  return true;
}

bool NamedEventExists(const std::wstring& name) {
  UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, LocalName(name).c_str()));
  if (event) return true;
  return GetLastError() == ERROR_ACCESS_DENIED;
}

bool TerminateProcessByName(const std::wstring& executable) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  const std::wstring wanted = Lower(executable);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (Lower(entry.szExeFile) != wanted) continue;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process) TerminateProcess(process.get(), 0);
    return true;
  }
  return false;
}

bool WaitForUnist(const std::wstring& uninstaller) {
  WIN32_FIND_DATAW found{};
  {
    UniqueFind search(FindFirstFileW(uninstaller.c_str(), &found));
    if (!search) {
      const DWORD error = GetLastError();
      LOG_ERROR("WaitForUnist FindFile() failed, error code:%d path:%s", static_cast<int>(error),
                CStringToMultiByte(uninstaller).get());
      return true;
    }
  }
  // The path is quoted: unquoted, "C:\Program Files\...\Uninstall.exe -S"
  // would first run C:\Program.exe if one were planted there.
  std::wstring command = L"\"" + uninstaller + L"\" -S";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  UniqueProcessInformation process;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, process.put())) {
    LOG_ERROR("CreateProcess() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  WaitForSingleObject(process.get().hProcess, INFINITE);
  return true;
}

}  // namespace qrn
