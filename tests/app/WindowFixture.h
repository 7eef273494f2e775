// Helpers of the window tests: the programs under test, scratch folders,
// environment and registry scopes, the installer's log, and the skin
// pictures the window should show.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ui-driver/UiDriver.h"

namespace qrn::test {

// Control ids of the installer window.
enum : int {
  kEditPath = 1000,
  kCheckAgree = 1001,
  kLicense = 1002,
  kClose = 1003,
  kMinimize = 1004,
  kChangeDir = 1005,
  kStart = 1006,
  kFinish = 1007,
  kCheckCustom = 1009,
  kCheckHelp = 1010,
};

// What the installing state's picture shows: the right end of the blue
// part of the progress bar (20 when none), and a fingerprint of the status
// strip.
int ProgressBarRight(const ui::Image& image);
uint64_t StatusStripPrint(const ui::Image& image);

class SetupRun;

// What screenshots of the installing state showed, taken until the window
// leaves that state (or the program ends, or timeoutMs passes). A picture
// counts only when the window had the installing state's height before and
// after it was taken: one taken across the switch to the finished state
// shows neither state.
struct InstallingPictures {
  int pictures = 0;
  int lastRight = 20;         // the bar's right end in the last picture
  int fallsOfTheBar = 0;      // pictures whose bar was shorter than before
  size_t statusPictures = 0;  // distinct pictures of the status strip
};
InstallingPictures WatchInstalling(const SetupRun& run, DWORD timeoutMs);

// A Linux path of the build as the Windows path Wine maps it to (drive Z).
std::wstring HostPath(const char* path);

// A built test program (window-test-setup.exe, qrn-recorder.exe, ...), as a
// Windows path.
std::wstring StandinPath(const std::wstring& name);

// A scratch folder under the temp folder, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool CopyInto(const std::wstring& from, const std::wstring& to);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Entries of a folder (names), "." and ".." left out.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// Sets an environment variable for the programs this test starts, and puts
// the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};

// A registry key the test creates (it must not exist before) and deletes
// with everything under it.
class ScopedKey {
 public:
  ScopedKey(HKEY root, const std::wstring& path, REGSAM view = 0);
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  // false when the key existed already (then it is left alone) or cannot be made.
  bool created() const { return created_; }
  bool SetString(const std::wstring& subkey, const std::wstring& name, const std::wstring& value);

 private:
  HKEY root_;
  std::wstring path_;
  REGSAM view_;
  bool created_ = false;
};

// A DWORD value set for the time of a test; the old value (or its absence,
// or the key's) comes back afterwards.
class ScopedDword {
 public:
  ScopedDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
  ~ScopedDword();
  ScopedDword(const ScopedDword&) = delete;
  ScopedDword& operator=(const ScopedDword&) = delete;
  bool ok() const { return ok_; }

 private:
  HKEY root_;
  std::wstring path_;
  std::wstring name_;
  bool createdKey_ = false;
  bool hadValue_ = false;
  DWORD old_ = 0;
  bool ok_ = false;
};

// The installer's log of today ("Install<yyyymmdd>.log" in its data folder);
// what was appended since this object was made. Log lines are code page 936.
class LogWatch {
 public:
  LogWatch();
  std::string Appended() const;
  // The appended text holds `text` (converted to code page 936).
  bool Contains(const std::wstring& text) const;

 private:
  std::wstring path_;
  size_t start_ = 0;
};

// Colour of pixel (x, y) of a bitmap resource of `module` (a file).
COLORREF SkinPixel(const std::wstring& module, UINT bitmapId, int x, int y);

// One run of the window-test setup (or a copy of it), its main window found.
class SetupRun {
 public:
  // Starts `exe` and waits for its window (not longer than the program
  // lives). Check ok() (and error()).
  explicit SetupRun(const std::wstring& exe = StandinPath(L"window-test-setup.exe"));
  ~SetupRun();
  bool ok() const { return window_ != nullptr; }
  const std::string& error() const { return error_; }

  HWND window() const { return window_; }
  ui::Program& program() { return program_; }
  HWND Control(int id) const { return ui::Control(window_, id); }
  SIZE Size() const { return ui::WindowSize(window_); }
  // Waits up to `timeoutMs` for the window to take this height.
  bool WaitForHeight(int height, DWORD timeoutMs = 5000) const;
  // Sets the path box (EN_UPDATE follows) and waits until handled.
  void SetPath(const std::wstring& path);
  // Waits for a message box; empty text when none came.
  std::wstring WaitForBox(HWND* box, DWORD timeoutMs = 10000) const;
  // Answers the box showing `text` with button `id`; fails the test otherwise.
  ::testing::AssertionResult Answer(const std::wstring& text, int id, DWORD timeoutMs = 10000);
  bool Running() const { return !program_.WaitForExit(0); }
  bool WaitForExit(DWORD timeoutMs = 15000) const { return program_.WaitForExit(timeoutMs); }

 private:
  ui::Program program_;
  HWND window_ = nullptr;
  std::string error_;
};

// State-table checks: the window's size and which controls are in sight.
::testing::AssertionResult InWelcomeState(const SetupRun& run, bool expanded);
::testing::AssertionResult InInstallingState(const SetupRun& run);
::testing::AssertionResult InFinishedState(const SetupRun& run);

}  // namespace qrn::test
