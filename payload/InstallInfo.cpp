#include "payload/InstallInfo.h"

#include "base/Owners.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// Lines are gathered and written in blocks of this size: a record of a few
// hundred paths takes one write, and no write exceeds 8 MiB.
constexpr size_t kWriteBlock = 64 * 1024;

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size()) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    LOG_ERROR("WriteFile() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

}  // namespace

BOOL WriteInstallInfo(const std::wstring& folder, const std::vector<std::wstring>& paths) {
  const std::wstring path = folder + L"\\" + kInstallInfoName;
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) {
    const int error = static_cast<int>(GetLastError());
    const auto ansiPath = CStringToMultiByte(path);
    LOG_ERROR("CreateFile() failed, error code:%d path:%s", error, ansiPath ? ansiPath.get() : "");
    return FALSE;
  }
  std::string block;
  for (const std::wstring& line : paths) {
    if (line.empty()) continue;
    const auto ansi = CStringToMultiByte(line);
    if (!ansi) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      LOG_ERROR("WriteFile() failed, error code:%d", static_cast<int>(GetLastError()));
      return FALSE;
    }
    block.append(ansi.get());
    block.push_back('\n');
    if (block.size() >= kWriteBlock) {
      if (!WriteAll(file.get(), block)) return FALSE;
      block.clear();
    }
  }
  if (!block.empty() && !WriteAll(file.get(), block)) return FALSE;
  return TRUE;
}

}  // namespace qrn
