#include "log/LogModule.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "log/LogHold.h"

namespace qrn {
namespace {

constexpr size_t kMessageLimit = 102400;
constexpr size_t kLineLimit = 102400;
constexpr size_t kTimeLimit = 50;
constexpr size_t kSourceLimit = 50;
constexpr size_t kPathLimit = 260;
constexpr size_t kDiagnosticLimit = 1024;
constexpr const char* kLevelWords[] = {"debug", "warning", "error"};

CLogModule* g_instance = nullptr;
CLogModule::ClockFn g_clock = nullptr;
CLogModule::DebugOutputFn g_debugOutput = nullptr;

void Now(SYSTEMTIME* now) {
  if (g_clock != nullptr) {
    g_clock(now);
  } else {
    GetLocalTime(now);
  }
}

void DebugOutput(const char* text) {
  if (g_debugOutput != nullptr) {
    g_debugOutput(text);
  } else {
    OutputDebugStringA(text);
  }
}

void DebugPrintf(size_t limit, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void DebugPrintf(size_t limit, const char* format, ...) {
  std::unique_ptr<char[]> text(new (std::nothrow) char[limit]);
  if (!text) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(text.get(), limit, format, args);
  va_end(args);
  DebugOutput(text.get());
}

// snprintf that reports whether the whole text fitted.
bool FormatFits(char* buffer, size_t size, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
bool FormatFits(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return n >= 0 && static_cast<size_t>(n) < size;
}

bool LogV(int level, const char* module, const char* sourceFile, int line, const char* format, va_list args) {
  if (format == nullptr) return false;
  // Callers log a failure and then read the last-error code again for their
  // own line; writing the log must not change it.
  const DWORD lastError = GetLastError();
  const struct Restore {
    DWORD error;
    ~Restore() { SetLastError(error); }
  } restore{lastError};
  std::unique_ptr<char[]> message(new (std::nothrow) char[kMessageLimit]);
  if (!message) return false;
  std::vsnprintf(message.get(), kMessageLimit, format, args);  // a longer message is cut
  if (LogHold::KeepIfHeld(level, module, sourceFile, line, message.get())) return true;
  CLogModule* log = CLogModule::GetInstance();
  return log != nullptr && log->AddLog(level, module, sourceFile, line, message.get());
}

}  // namespace

CLogModule::CLogModule() = default;

CLogModule* CLogModule::GetInstance() {
  if (g_instance == nullptr) g_instance = new (std::nothrow) CLogModule;
  return g_instance;
}

void CLogModule::ReleaseInstance() {
  delete g_instance;
  g_instance = nullptr;
}

void CLogModule::SetClockForTesting(ClockFn clock) { g_clock = clock; }
void CLogModule::SetDebugOutputForTesting(DebugOutputFn output) { g_debugOutput = output; }

bool CLogModule::BuildFilePath(char* path, size_t size) const {
  if (prefix_[0] != '\0') {
    return FormatFits(path, size, "%s\\%s%04d%02d%02d.log", folder_, prefix_, fileDate_.wYear, fileDate_.wMonth,
                      fileDate_.wDay);
  }
  return FormatFits(path, size, "%s\\%04d%02d%02d.log", folder_, fileDate_.wYear, fileDate_.wMonth, fileDate_.wDay);
}

bool CLogModule::OpenFile() {
  char path[kPathLimit];
  if (!BuildFilePath(path, sizeof path)) {
    DebugPrintf(kDiagnosticLimit, "CreateFile failed, ErrCode:%d!\n", static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
    return false;
  }
  // Others may read the file while it is open; nobody else may write or delete it.
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DebugPrintf(kDiagnosticLimit, "CreateFile failed, ErrCode:%d!\n", static_cast<int>(GetLastError()));
    return false;
  }
  fileHandle_ = file;
  SetFilePointer(fileHandle_, 0, nullptr, FILE_END);
  return true;
}

bool CLogModule::InitLog(const char* folder, uint32_t maxFiles, const char* prefix) {
  std::lock_guard<std::mutex> guard(lock_);
  if (folder == nullptr || prefix == nullptr || std::strlen(folder) >= sizeof folder_ ||
      std::strlen(prefix) >= sizeof prefix_) {
    DebugPrintf(kDiagnosticLimit, "InitLog:mkpath(%s) failed!\n", folder != nullptr ? folder : "(null)");
    initialised_ = false;
    return false;
  }
  const DWORD attributes = GetFileAttributesA(folder);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!exists && !CreateDirectoryA(folder, nullptr)) {
    DebugPrintf(kDiagnosticLimit, "InitLog:mkpath(%s) failed!\n", folder);
    initialised_ = false;
    return false;
  }
  CloseLogLocked();
  std::strcpy(folder_, folder);
  std::strcpy(prefix_, prefix);
  maxFiles_ = maxFiles;
  Now(&fileDate_);
  if (!OpenFile()) {
    initialised_ = false;
    return false;
  }
  initialised_ = true;
  CheckLatestFileCount();
  return true;
}

bool CLogModule::AddLog(int level, const char* module, const char* sourceFile, int line, const char* text) {
  if (level < 0 || level > 2 || module == nullptr || sourceFile == nullptr || text == nullptr) return false;
  const char* slash = std::strrchr(sourceFile, '\\');
  char source[kSourceLimit];
  std::snprintf(source, sizeof source, "%s", slash != nullptr ? slash + 1 : sourceFile);

  // The time is taken before the day check: a line formatted just before
  // midnight carries the old time but lands in the new day's file.
  SYSTEMTIME now{};
  Now(&now);
  char time[kTimeLimit];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

  std::unique_ptr<char[]> lineText(new (std::nothrow) char[kLineLimit]);
  if (!lineText) return false;
  int length = std::snprintf(lineText.get(), kLineLimit, "%s %s@%s(%d)$%s:%s\r\n", time, module, source, line,
                             kLevelWords[level], text);
  if (length < 0) return false;
  if (static_cast<size_t>(length) >= kLineLimit) {
    // Cut, but keep the line ending so the next line starts on its own.
    length = static_cast<int>(kLineLimit - 1);
    lineText[length - 2] = '\r';
    lineText[length - 1] = '\n';
  }

  std::lock_guard<std::mutex> guard(lock_);
  if (!initialised_) {
    DebugPrintf(kLineLimit, "AddLog:log module is not init, current log:%s", lineText.get());
    return false;
  }
  CheckLogDateLocked();
  if (fileHandle_ == INVALID_HANDLE_VALUE) {
    DebugPrintf(kLineLimit, "AddLog:file is not Open, log:%s", lineText.get());
    return false;
  }
  DWORD written = 0;
  WriteFile(fileHandle_, lineText.get(), static_cast<DWORD>(length), &written, nullptr);
  FlushFileBuffers(fileHandle_);
  return true;
}

void CLogModule::CheckLogDate() {
  std::lock_guard<std::mutex> guard(lock_);
  CheckLogDateLocked();
}

void CLogModule::CheckLogDateLocked() {
  SYSTEMTIME now{};
  Now(&now);
  // Only the day of the month is compared, as the file name changes daily.
  if (now.wDay == fileDate_.wDay) return;
  fileDate_ = now;
  CloseLogLocked();
  if (OpenFile()) CheckLatestFileCount();
}

void CLogModule::CheckLatestFileCount() {
  char pattern[kPathLimit];
  const bool fits = prefix_[0] != '\0' ? FormatFits(pattern, sizeof pattern, "%s\\%s*.log", folder_, prefix_)
                                       : FormatFits(pattern, sizeof pattern, "%s\\*.log", folder_);
  if (!fits) return;
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  {
    UniqueFind search(FindFirstFileA(pattern, &found));
    if (!search) return;
    do {
      if (found.cFileName[0] == '.' || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      names.emplace_back(found.cFileName);
    } while (FindNextFileA(search.get(), &found));
  }
  if (names.size() <= maxFiles_) return;
  // Newest first: with a fixed prefix and the date format, byte order is date order.
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return std::strcmp(a.c_str(), b.c_str()) > 0; });
  while (names.size() > maxFiles_) {
    char path[kPathLimit];
    if (!FormatFits(path, sizeof path, "%s\\%s", folder_, names.back().c_str())) return;
    if (!DeleteFileA(path)) {
      DebugPrintf(kDiagnosticLimit, "CheckLatestFileCount:remove(%s) failed!\n", path);
      return;
    }
    names.pop_back();
  }
}

void CLogModule::CloseLog() {
  std::lock_guard<std::mutex> guard(lock_);
  CloseLogLocked();
}

void CLogModule::CloseLogLocked() {
  if (fileHandle_ != INVALID_HANDLE_VALUE) {
    CloseHandle(fileHandle_);
    fileHandle_ = INVALID_HANDLE_VALUE;
  }
}

bool LogInit(const char* prefix, const char* folder) {
  char own[MAX_PATH + 8];
  if (folder == nullptr) {
    const DWORD n = GetModuleFileNameA(nullptr, own, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    char* slash = std::strrchr(own, '\\');
    if (slash == nullptr) return false;
    std::strcpy(slash + 1, "log");
    folder = own;
  }
  CLogModule* log = CLogModule::GetInstance();
  return log != nullptr && log->InitLog(folder, 3, prefix);
}

void LogUninit() {
  if (CLogModule* log = CLogModule::GetInstance()) log->CloseLog();
  CLogModule::ReleaseInstance();
}

#define QRN_DEFINE_LOG_LEVEL(Name, level)                                                    \
  bool Name(const char* module, const char* sourceFile, int line, const char* format, ...) { \
    va_list args;                                                                            \
    va_start(args, format);                                                                  \
    const bool ok = LogV(level, module, sourceFile, line, format, args);                     \
    va_end(args);                                                                            \
    return ok;                                                                               \
  }

QRN_DEFINE_LOG_LEVEL(LogDebug, 0)
QRN_DEFINE_LOG_LEVEL(LogWarning, 1)
QRN_DEFINE_LOG_LEVEL(LogError, 2)

}  // namespace qrn
