// The process-wide daily log.
//
// Files "<folder>\<prefix><yyyymmdd>.log", appended to by every run of that
// day, a few kept. Each line is 8-bit ANSI text
//   "hh:mm:ss.mmm <module>@<file>(<line>)$<level>:<message>\r\n"
// written by one WriteFile call and flushed. The log never reports its own
// problems to callers: they go to the debug-output channel.
//
// Limits (bytes, NUL included): message and line 102,400, time text 50,
// source-file name 50, folder, prefix-built path and search pattern 260,
// prefix 50. A message, line or source-file name longer than its limit is
// cut (a cut line still ends in CR LF); a folder or prefix too long for its
// buffer makes InitLog fail, since a cut path would name another file.
//
// Two threads log through the one instance; a lock around the day check and
// the write keeps their lines whole and the day change atomic.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>

namespace qrn {

class CLogModule {
 public:
  using ClockFn = void (*)(SYSTEMTIME* now);  // local time
  using DebugOutputFn = void (*)(const char* text);

  static CLogModule* GetInstance();
  static void ReleaseInstance();

  bool InitLog(const char* folder, uint32_t maxFiles, const char* prefix);
  bool AddLog(int level, const char* module, const char* sourceFile, int line, const char* text);
  void CheckLogDate();
  void CheckLatestFileCount();
  void CloseLog();

  // Test seams: the clock (GetLocalTime) and the debug channel
  // (OutputDebugStringA). Null restores the default.
  static void SetClockForTesting(ClockFn clock);
  static void SetDebugOutputForTesting(DebugOutputFn output);

 private:
  CLogModule();
  bool BuildFilePath(char* path, size_t size) const;
  bool OpenFile();  // opens the file of fileDate_, fileHandle_ stays invalid on failure
  void CheckLogDateLocked();
  void CloseLogLocked();

  SYSTEMTIME fileDate_{};
  HANDLE fileHandle_ = INVALID_HANDLE_VALUE;
  char folder_[260] = {};
  char prefix_[50] = {};
  uint32_t maxFiles_ = 0;
  bool initialised_ = false;
  std::mutex lock_;
};

// Free functions used by the rest of the program.
// Folder null: the executable's folder followed by "log".
bool LogInit(const char* prefix, const char* folder);
void LogUninit();
bool LogDebug(const char* module, const char* sourceFile, int line, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));
bool LogWarning(const char* module, const char* sourceFile, int line, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));
bool LogError(const char* module, const char* sourceFile, int line, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));

}  // namespace qrn
