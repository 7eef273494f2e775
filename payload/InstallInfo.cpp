#include "payload/InstallInfo.h"

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// No single write above 8 MiB; a record of a few hundred paths is one write.
constexpr size_t kMaxWrite = 8 * 1024 * 1024;

}  // namespace

void InstallRecord::Add(const std::wstring& path) {
  if (path.empty()) return;
  const auto ansi = CStringToMultiByte(path);
  if (!ansi) {
    complete_ = false;
    return;
  }
  bytes_.append(ansi.get());
  bytes_.push_back('\n');
}

BOOL InstallRecord::Write(const std::wstring& folder) const {
  const std::wstring path = folder + L"\\" + kInstallInfoName;
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) {
    const int error = static_cast<int>(GetLastError());
    const auto ansiPath = CStringToMultiByte(path);
    LOG_ERROR("CreateFile() failed, error code:%d path:%s", error, ansiPath ? ansiPath.get() : "");
    return FALSE;
  }
  for (size_t done = 0; done < bytes_.size();) {
    const DWORD n = static_cast<DWORD>(bytes_.size() - done < kMaxWrite ? bytes_.size() - done : kMaxWrite);
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), bytes_.data() + done, n, &written, nullptr);
    if (!ok || written != n) {
      const int error = static_cast<int>(ok ? static_cast<DWORD>(ERROR_WRITE_FAULT) : GetLastError());
      LOG_ERROR("WriteFile() failed, error code:%d", error);
      return FALSE;
    }
    done += n;
  }
  if (!complete_) {
    LOG_ERROR("WriteFile() failed, error code:%d", static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    return FALSE;
  }
  return TRUE;
}

BOOL WriteInstallInfo(const std::wstring& folder, const std::vector<std::wstring>& paths) {
  InstallRecord record;
  for (const std::wstring& path : paths) record.Add(path);
  return record.Write(folder);
}

}  // namespace qrn
