// What the main window and the install thread share.
//
// The window owns one InstallSettings for the whole run and hands it to the
// install thread, which borrows it; every install stage is a plain function
// over it. The window writes installFolder, previousUninstallString,
// earlierProductUninstallString and overwriteInstall before the thread
// starts (the thread's creation orders those writes before its reads) and
// never changes them afterwards. While the thread runs it reports back only
// through three channels:
//   progressTarget  percentage the window's progress moves towards
//   installFailed   set once, at the end of a failed sequence
//   status line     SetStatusText, shown by the window
// progressTarget and installFailed are single 32-bit values written by one
// thread and read by the other without a lock, so each is an atomic.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/Owners.h"

namespace qrn {

// The status line handed from the install thread to the window's thread.
// The setter copies the text under a short lock and then calls the
// listener outside it, so the install thread never waits for painting; the
// reader always gets the latest text.
class StatusLine {
 public:
  // Called after every change, on the thread that set the text. The window
  // plugs in a function that only invalidates its status strip (it must not
  // paint or send messages to the window's thread and wait).
  using Listener = void (*)(void* context);

  StatusLine() = default;
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  void SetListener(Listener listener, void* context);
  void Set(const std::wstring& text);
  // A copy of the latest text; empty before the first Set.
  std::wstring Get() const;

 private:
  mutable std::mutex lock_;
  std::wstring text_;
  Listener listener_ = nullptr;
  void* context_ = nullptr;
};

struct InstallSettings {
  // Install folder, without trailing backslash.
  std::wstring installFolder;
  // Full path of the uninstaller of an earlier installation; empty when none.
  std::wstring previousUninstallString;
  // Full path of the earlier product's (Tolvek's) uninstaller; empty when none.
  std::wstring earlierProductUninstallString;
  // The installation goes over an earlier one.
  BOOL overwriteInstall = FALSE;
  // Percentage (10..100) the progress display moves towards.
  std::atomic<int32_t> progressTarget{0};
  // Percentage currently shown; the window's thread only.
  int32_t progressShown = 0;
  // TRUE when the install sequence failed; written once by the thread.
  std::atomic<BOOL> installFailed{FALSE};
  // The install thread; never waited for.
  UniqueHandle installThread;
  // Text shown in the status strip while installing.
  StatusLine statusLine;

  // Sets the status line; callable from the install thread at any time.
  void SetStatusText(const std::wstring& text) { statusLine.Set(text); }
};

static_assert(sizeof(std::atomic<int32_t>) == 4 && std::atomic<int32_t>::is_always_lock_free,
              "progressTarget must be one indivisible 32-bit value");
static_assert(sizeof(std::atomic<BOOL>) == 4 && std::atomic<BOOL>::is_always_lock_free,
              "installFailed must be one indivisible 32-bit value");

}  // namespace qrn
