#include "system/MakePath.h"

#include "log/Log.h"

namespace qrn {
namespace {

// Only a folder will do: a file of the same name makes the creation below
// fail, as it should, instead of passing for the folder.
bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

BOOL MakePath(std::wstring path, std::vector<std::wstring>* made) {
  if (path.size() < 2) return FALSE;
  if (path.back() == L'\\') path.pop_back();
  if (path.empty()) return FALSE;
  if (path.size() <= 3) return IsFolder(path) ? TRUE : FALSE;
  if (IsFolder(path)) return TRUE;

  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos || slash == 0) return FALSE;
  if (!MakePath(path.substr(0, slash), made)) return FALSE;

  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = FALSE;
  if (!CreateDirectoryW(path.c_str(), &security)) {
    const DWORD error = GetLastError();
    // Another program may have made it since the check above.
    if (error == ERROR_ALREADY_EXISTS && IsFolder(path)) return TRUE;
    SetLastError(error);
    LOG_ERROR("CreateDirectory() failed, error code:%d", static_cast<int>(GetLastError()));
    return FALSE;
  }
  if (made != nullptr) made->push_back(path);
  return TRUE;
}

}  // namespace qrn
