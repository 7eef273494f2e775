#include "uninstaller/FileRemoval.h"

#include <windows.h>

#include <algorithm>
#include <set>

#include "log/Log.h"
#include "system/SetupInfo.h"
#include "uninstaller/RemovalPlan.h"

namespace qrn {
namespace {

constexpr DWORD kRetryPollMs = 200;

enum class Deletion { kGone, kHeld, kFailed };

Deletion DeleteOne(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Deletion::kGone;
    // Unreadable attributes: let the deletion say what is wrong.
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    LOG_WARNING("recorded path is a folder, left alone:%s", CStringToMultiByte(path).get());
    return Deletion::kGone;
  } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // The extraction restores the archive's attributes, read-only included.
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (DeleteFileW(path.c_str())) return Deletion::kGone;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Deletion::kGone;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION) {
    return Deletion::kHeld;
  }
  LOG_ERROR("DeleteFile() failed, error code:%d path:%s", static_cast<int>(error), CStringToMultiByte(path).get());
  return Deletion::kFailed;
}

}  // namespace

bool RemoveFiles(const std::vector<std::wstring>& files) {
  bool allGone = true;
  std::vector<std::wstring> held;
  for (const std::wstring& file : files) {
    const Deletion result = DeleteOne(file);
    if (result == Deletion::kHeld) held.push_back(file);
    if (result == Deletion::kFailed) allGone = false;
  }
  for (DWORD waited = 0; !held.empty() && waited < kFileRetryMs; waited += kRetryPollMs) {
    Sleep(kRetryPollMs);
    std::vector<std::wstring> stillHeld;
    for (const std::wstring& file : held) {
      const Deletion result = DeleteOne(file);
      if (result == Deletion::kHeld) stillHeld.push_back(file);
      if (result == Deletion::kFailed) allGone = false;
    }
    held.swap(stillHeld);
  }
  for (const std::wstring& file : held) {
    LOG_ERROR("DeleteFile() failed, file in use or protected, left in place:%s", CStringToMultiByte(file).get());
    allGone = false;
  }
  return allGone;
}

bool RemoveEmptyFolders(const std::vector<std::wstring>& files, const std::wstring& topFolder) {
  std::set<std::wstring> folders;
  for (const std::wstring& file : files) {
    std::wstring folder = file;
    for (;;) {
      const size_t slash = folder.find_last_of(L'\\');
      if (slash == std::wstring::npos) break;
      folder.resize(slash);
      if (!IsInsideFolder(folder, topFolder)) break;
      if (!folders.insert(folder).second) break;  // its parents are in already
    }
  }
  // Deepest first: a parent can only go once its children have.
  std::vector<std::wstring> ordered(folders.begin(), folders.end());
  std::sort(ordered.begin(), ordered.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  bool ok = true;
  for (const std::wstring& folder : ordered) {
    if (RemoveDirectoryW(folder.c_str())) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
    LOG_ERROR("RemoveDirectory() failed, error code:%d path:%s", static_cast<int>(error),
              CStringToMultiByte(folder).get());
    ok = false;
  }
  return ok;
}

}  // namespace qrn
