#include "engine/InstallThread.h"

#include <shellapi.h>

#include "engine/ComponentRegistration.h"
#include "engine/DataDirectory.h"
#include "engine/DriverStage.h"
#include "engine/PreviousVersions.h"
#include "engine/Registry.h"
#include "engine/Shortcuts.h"
#include "log/Log.h"
#include "payload/ExtractArchive.h"
#include "system/DelayLoadHooks.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

int LastError() { return static_cast<int>(GetLastError()); }

// Steps 1 to 5: with redirection off on 64-bit Windows, so that removal,
// extraction and drivers reach the native system folders.
BOOL RunRedirectedStages(InstallSettings& settings) {
  LOG_DEBUG("running to DisableWow64Redirection()");
  PVOID redirection = nullptr;
  const BOOL wow64 = IsWow64();
  if (wow64 && !DisableWow64Redirection(&redirection)) {
    LOG_ERROR("DisableWow64Redirection() failed, error code:%d", LastError());
    FreeSys64Fun();
    return FALSE;
  }

  BOOL ok = TRUE;
  LOG_DEBUG("running to WaitForUnist()");
  if (!RemovePreviousVersions(settings)) {
    ok = FALSE;
  } else {
    LOG_DEBUG("running to ExtractArchiveSetup()");
    if (!ExtractArchiveSetup(settings)) {
      LOG_ERROR("ExtractArchiveSetup() failed");
      ok = FALSE;
    } else {
      settings.progressTarget = 80;
      LOG_DEBUG("running to InstallDriver()");
      if (!InstallDriver(settings)) LOG_ERROR("InstallDriver() failed");
    }
  }

  LOG_DEBUG("running to EnableWow64Redirection()");
  if (wow64) {
    if (!EnableWow64Redirection(redirection)) {
      LOG_ERROR("EnableWow64Redirection() failed, error code:%d", LastError());
      ok = FALSE;
    }
    FreeSys64Fun();
  }
  if (!ok) LOG_ERROR("ThreadExtract() failed, return FALSE");
  return ok;
}

// The window learns of the failure as of any other: through installFailed.
void ReportDelayLoadFailure(void* context, const char* failure) {
  LOG_ERROR("%s", failure);
  LOG_ERROR("ThreadExtract() failed, return FALSE");
  static_cast<InstallSettings*>(context)->installFailed = TRUE;
}

}  // namespace

void RunServiceInit(InstallSettings& settings) {
  const std::wstring program = settings.installFolder + L"\\QRNService.exe";
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", program.c_str(), L"-init", nullptr, SW_SHOW);
  if (reinterpret_cast<INT_PTR>(result) <= 32) LOG_ERROR("Run QRNService.exe failed");
}

BOOL RunInstallSequence(InstallSettings& settings) {
  if (!RunRedirectedStages(settings)) return FALSE;

  LOG_DEBUG("running to CreateAppDataDirectory()");
  if (!CreateAppDataDirectory(settings)) LOG_ERROR("CreateAppDataDirectory() failed");

  LOG_DEBUG("running to SetReg()");
  settings.SetStatusText(L"正在更新注册表...");
  if (!SetReg(settings)) LOG_ERROR("SetReg() failed");

  LOG_DEBUG("running to AfterSetup()");
  settings.SetStatusText(L"正在注册组件...");
  AfterSetup(settings);

  LOG_DEBUG("running to OverSetup()");
  settings.SetStatusText(L"正在创建快捷方式...");
  OverSetup(settings);

  RunServiceInit(settings);
  settings.progressTarget = 100;
  return TRUE;
}

unsigned RunInstallThread(InstallSettings& settings, BOOL (*sequence)(InstallSettings&)) {
  LOG_DEBUG("ThreadExtract() in");
  const DelayLoadFailureExit onDelayLoadFailure(ReportDelayLoadFailure, &settings, 0);
  const BOOL ok = sequence(settings);
  settings.installFailed = ok ? FALSE : TRUE;
  LOG_DEBUG("ThreadExtract() out");
  return ok ? 1u : 0u;
}

unsigned __stdcall ThreadExtract(void* param) {
  return RunInstallThread(*static_cast<InstallSettings*>(param), RunInstallSequence);
}

}  // namespace qrn
