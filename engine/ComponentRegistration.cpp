#include "engine/ComponentRegistration.h"

#include <windows.h>

#include "report/InstallReport.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

const wchar_t* g_regsvr32Override = nullptr;

std::wstring Regsvr32Path() {
  if (g_regsvr32Override != nullptr) return g_regsvr32Override;
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(system, length) + L"\\regsvr32.exe";
}

struct ComponentDll {
  const char* logName;  // as the log line names it
  const wchar_t* file32;
  const wchar_t* file64;
};

// Shell extension first, then the drag-and-drop handler.
constexpr ComponentDll kComponentDlls[] = {
    {"MShellExt.dll", L"QRNShellExt.dll", L"QRNShellExt-x64.dll"},
    {"QRNDragDrop.dll", L"QRNDragDrop.dll", L"QRNDragDrop-x64.dll"},
};

}  // namespace

void SetRegsvr32ForTesting(const wchar_t* program) { g_regsvr32Override = program; }

std::wstring RegisterDllCommandLine(const std::wstring& installFolder, const std::wstring& dll) {
  return L"\"" + Regsvr32Path() + L"\" -s \"" + installFolder + L"\\" + dll + L"\"";
}

void RegDll(const std::wstring& installFolder) {
  const bool wow64 = IsWow64() != FALSE;
  for (const ComponentDll& dll : kComponentDlls) {
    LOG_DEBUG("running to RegDll() - %s", dll.logName);
    const std::unique_ptr<char[]> command =
        CStringToMultiByte(RegisterDllCommandLine(installFolder, wow64 ? dll.file64 : dll.file32));
    // -s keeps regsvr32 from showing its message box; nobody waits for it.
    const UINT result = WinExec(command.get(), SW_SHOWNORMAL);
    if (result <= 31) LOG_ERROR("WinExec() failed, path:%s ret code:%d", command.get(), static_cast<int>(result));
  }
}

void AfterSetup(InstallSettings& settings) {
  LOG_DEBUG("running to RegDll()");
  RegDll(settings.installFolder);
  LOG_DEBUG("running to SendInstallInfo()");
  if (!SendInstallInfo()) LOG_ERROR("SendInstallInfo() failed");
}

}  // namespace qrn
