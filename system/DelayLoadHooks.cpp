#include "system/DelayLoadHooks.h"

#include <windows.h>
// windows.h first: delayimp.h needs its types.
#include <delayimp.h>

#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

FARPROC WINAPI NotifyHook(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary) return nullptr;
  // nullptr lets the helper load the DLL itself, as usual.
  return reinterpret_cast<FARPROC>(LoadLibraryRedirected(info->szDll));
}

FARPROC WINAPI FailureHook(unsigned notify, PDelayLoadInfo info) {
  if (notify == dliFailLoadLib) {
    LOG_ERROR("delay load failed, dll:%s error code:%d", info->szDll, static_cast<int>(info->dwLastError));
  } else if (notify == dliFailGetProc) {
    if (info->dlp.fImportByName) {
      LOG_ERROR("delay load failed, dll:%s function:%s error code:%d", info->szDll, info->dlp.szProcName,
                static_cast<int>(info->dwLastError));
    } else {
      LOG_ERROR("delay load failed, dll:%s ordinal:%d error code:%d", info->szDll,
                static_cast<int>(info->dlp.dwOrdinal), static_cast<int>(info->dwLastError));
    }
  }
  return nullptr;
}

}  // namespace

void InstallDelayLoadHooks() {
  __pfnDliNotifyHook2 = NotifyHook;
  __pfnDliFailureHook2 = FailureHook;
}

}  // namespace qrn
