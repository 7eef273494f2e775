#include "uninstaller/ProductProcesses.h"

#include <tlhelp32.h>

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// How long one terminated process may take to go away.
constexpr DWORD kExitWaitMs = 5000;
// Long enough for any Win32 path (the \\?\ form allows 32,767 characters).
constexpr DWORD kImagePathChars = 32768;

bool IsListed(const std::wstring& image, const std::vector<std::wstring>& programs) {
  for (const std::wstring& program : programs) {
    if (CompareStringOrdinal(image.c_str(), static_cast<int>(image.size()), program.c_str(),
                             static_cast<int>(program.size()), TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

std::wstring ImagePath(HANDLE process) {
  std::wstring path(kImagePathChars, L'\0');
  DWORD length = kImagePathChars;
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) return std::wstring();
  path.resize(length);
  return path;
}

}  // namespace

bool EndProductProcesses(const std::vector<std::wstring>& programs) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    LOG_ERROR("CreateToolhelp32Snapshot() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  const DWORD self = GetCurrentProcessId();
  bool allEnded = true;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self || entry.th32ProcessID == 0) continue;
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process) continue;  // system processes and the like: not ours
    const std::wstring image = ImagePath(process.get());
    if (image.empty() || !IsListed(image, programs)) continue;

    const std::unique_ptr<char[]> name = CStringToMultiByte(image);
    LOG_DEBUG("ending process %d:%s", static_cast<int>(entry.th32ProcessID), name.get());
    if (!TerminateProcess(process.get(), 0)) {
      LOG_ERROR("TerminateProcess() failed, error code:%d path:%s", static_cast<int>(GetLastError()), name.get());
      allEnded = false;
      continue;
    }
    if (WaitForSingleObject(process.get(), kExitWaitMs) != WAIT_OBJECT_0) {
      LOG_ERROR("process did not end in time:%s", name.get());
      allEnded = false;
    }
  }
  return allEnded;
}

}  // namespace qrn
