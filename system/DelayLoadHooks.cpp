#include "system/DelayLoadHooks.h"

#include <process.h>
#include <windows.h>
// windows.h first: delayimp.h needs its types.
#include <delayimp.h>

#include <cstdio>

#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {

struct DelayLoadFailureExitAccess {
  static void Report(const DelayLoadFailureExit& exit, const char* failure) { exit.report_(exit.context_, failure); }
  static unsigned ThreadExitCode(const DelayLoadFailureExit& exit) { return exit.threadExitCode_; }
};

namespace {

// The innermost DelayLoadFailureExit of each thread.
thread_local DelayLoadFailureExit* t_exit = nullptr;

unsigned g_processExitCode = 1;

FARPROC WINAPI NotifyHook(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary) return nullptr;
  // nullptr lets the helper load the DLL itself, as usual.
  return reinterpret_cast<FARPROC>(LoadLibraryRedirected(info->szDll));
}

// Never returns: the helper's own way on would raise an exception nothing
// catches. The thread (or the process) ends inside the call that needed the
// DLL, which holds no lock of ours (the helper of this MinGW takes none).
[[noreturn]] void EndAfterFailure(const char* failure) {
  DelayLoadFailureExit* exit = t_exit;
  if (exit != nullptr) {
    t_exit = nullptr;
    DelayLoadFailureExitAccess::Report(*exit, failure);
    // _endthreadex, not ExitThread: the runtime's data of the thread goes
    // too (every thread of ours is started by _beginthreadex).
    _endthreadex(DelayLoadFailureExitAccess::ThreadExitCode(*exit));
  }
  LOG_ERROR("%s", failure);
  LOG_ERROR("delay load failed, the program ends with exit code %u", g_processExitCode);
  ExitProcess(g_processExitCode);
}

FARPROC WINAPI FailureHook(unsigned notify, PDelayLoadInfo info) {
  char failure[512];
  const int error = static_cast<int>(info->dwLastError);
  if (notify == dliFailLoadLib) {
    std::snprintf(failure, sizeof failure, "delay load failed, dll:%s error code:%d", info->szDll, error);
  } else if (notify == dliFailGetProc && info->dlp.fImportByName) {
    std::snprintf(failure, sizeof failure, "delay load failed, dll:%s function:%s error code:%d", info->szDll,
                  info->dlp.szProcName, error);
  } else if (notify == dliFailGetProc) {
    std::snprintf(failure, sizeof failure, "delay load failed, dll:%s ordinal:%d error code:%d", info->szDll,
                  static_cast<int>(info->dlp.dwOrdinal), error);
  } else {
    return nullptr;
  }
  EndAfterFailure(failure);
}

}  // namespace

DelayLoadFailureExit::DelayLoadFailureExit(Report report, void* context, unsigned threadExitCode)
    : report_(report), context_(context), threadExitCode_(threadExitCode), outer_(t_exit) {
  t_exit = this;
}

DelayLoadFailureExit::~DelayLoadFailureExit() { t_exit = outer_; }

void InstallDelayLoadHooks(unsigned processExitCode) {
  g_processExitCode = processExitCode;
  __pfnDliNotifyHook2 = NotifyHook;
  __pfnDliFailureHook2 = FailureHook;
}

}  // namespace qrn
