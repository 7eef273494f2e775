// INTERIM, until engine/InstallSettings is on main: the install settings
// shared by the window and the install thread, with the members and the
// status-line hand-over the window uses. Replace the include of this file by
// the engine's header and delete it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Owners.h"

namespace qrn {

struct InstallSettings {
  // Written by the window before the thread starts; read-only afterwards.
  std::wstring previousUninstallString;
  std::wstring earlierProductUninstallString;
  std::wstring installFolder;
  BOOL overwriteInstall = FALSE;

  // Written by the thread, read by the window's timer, each as one value.
  std::atomic<int32_t> progressTarget{0};
  std::atomic<BOOL> installFailed{FALSE};

  UniqueHandle installThread;

  // The status line. Any thread: stores the text, then calls the hook.
  void SetStatusText(const std::wstring& text);
  std::wstring StatusText() const;
  // Called after every SetStatusText, under the hand-over's lock (so that
  // once SetStatusNotify(nullptr, ...) has returned, no call is under way).
  // The hook must not wait for the window's thread.
  using StatusNotify = void (*)(void* context);
  void SetStatusNotify(StatusNotify notify, void* context);

 private:
  mutable std::mutex statusLock_;
  std::wstring status_;
  StatusNotify notify_ = nullptr;
  void* notifyContext_ = nullptr;
};

}  // namespace qrn
