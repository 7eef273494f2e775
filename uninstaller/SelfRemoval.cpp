#include "uninstaller/SelfRemoval.h"

#include <windows.h>

#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

constexpr DWORD kLongPathChars = 32768;

// "C:\" for "C:\...", empty otherwise.
std::wstring VolumeRoot(const std::wstring& path) {
  std::wstring root(kLongPathChars, L'\0');
  if (!GetVolumePathNameW(path.c_str(), root.data(), kLongPathChars)) return std::wstring();
  root.resize(wcslen(root.c_str()));
  return root;
}

bool SameVolume(const std::wstring& a, const std::wstring& b) {
  const std::wstring rootA = VolumeRoot(a);
  const std::wstring rootB = VolumeRoot(b);
  return !rootA.empty() && CompareStringOrdinal(rootA.c_str(), static_cast<int>(rootA.size()), rootB.c_str(),
                                                static_cast<int>(rootB.size()), TRUE) == CSTR_EQUAL;
}

std::wstring UserTempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  std::wstring folder(temp, length);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

}  // namespace

std::wstring TempFolderOnSameVolume(const std::wstring& selfPath) {
  const std::wstring temp = UserTempFolder();
  if (!temp.empty() && SameVolume(temp, selfPath)) return temp;
  const std::wstring root = VolumeRoot(selfPath);
  if (root.empty()) return std::wstring();
  const std::wstring folder = root + (root.back() == L'\\' ? L"" : L"\\") + L"QrnUninstallTemp";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    LOG_ERROR("CreateDirectory() failed, error code:%d path:%s", static_cast<int>(GetLastError()),
              CStringToMultiByte(folder).get());
    return std::wstring();
  }
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return folder;
}

SelfRemoval RemoveOwnFile(const std::wstring& selfPath, const std::wstring& tempFolder) {
  const std::unique_ptr<char[]> self = CStringToMultiByte(selfPath);
  if (tempFolder.empty()) {
    LOG_ERROR("no temporary folder for the uninstaller's own file, left in place:%s", self.get());
    return SelfRemoval::kFailed;
  }
  // A unique name: GetTempFileNameW creates the file, which the move then
  // replaces; its name cannot be taken by anybody else meanwhile.
  wchar_t moved[MAX_PATH] = {};
  if (GetTempFileNameW(tempFolder.c_str(), L"qun", 0, moved) == 0) {
    LOG_ERROR("GetTempFileName() failed, error code:%d", static_cast<int>(GetLastError()));
    return SelfRemoval::kFailed;
  }
  // No MOVEFILE_COPY_ALLOWED: a copy would leave the running original behind.
  if (!MoveFileExW(selfPath.c_str(), moved, MOVEFILE_REPLACE_EXISTING)) {
    LOG_ERROR("MoveFileEx() failed, error code:%d path:%s", static_cast<int>(GetLastError()), self.get());
    DeleteFileW(moved);
    return SelfRemoval::kFailed;
  }
  const std::unique_ptr<char[]> movedAnsi = CStringToMultiByte(moved);
  LOG_DEBUG("own file moved to %s", movedAnsi.get());
  if (DeleteFileW(moved)) return SelfRemoval::kDeleted;
  // The renamed file's name is unique to this run: scheduling it can never
  // touch a file a later installation writes.
  if (!MoveFileExW(moved, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    LOG_WARNING("MoveFileEx() delayed deletion failed, error code:%d path:%s", static_cast<int>(GetLastError()),
                movedAnsi.get());
  }
  return SelfRemoval::kScheduled;
}

}  // namespace qrn
