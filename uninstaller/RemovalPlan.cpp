#include "uninstaller/RemovalPlan.h"

#include <algorithm>

#include "base/Owners.h"
#include "log/Log.h"
#include "payload/InstallInfo.h"
#include "payload/NameLists.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// Reads in pieces well under the 8 MiB a single call may take.
constexpr DWORD kReadChunk = 64 * 1024;

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool IsDriveRoot(const std::wstring& folder) { return folder.size() <= 3; }

std::wstring BaseName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool IsBadCharacter(wchar_t c) {
  return c < 0x20 || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' ||
         c == L'|';
}

// The long form of a path that exists ("PROGRA~1" spelt out), so that a
// record and a folder written in different forms still compare; the path
// unchanged otherwise.
std::wstring LongForm(const std::wstring& path) {
  const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0 || needed > 32768) return path;
  std::wstring longPath(needed, L'\0');
  const DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), needed);
  if (length == 0 || length >= needed) return path;
  longPath.resize(length);
  return longPath;
}

}  // namespace

std::wstring LongPathForm(const std::wstring& path) { return LongForm(path); }

bool ReadRecordFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    LOG_ERROR("CreateFile() failed, error code:%d path:%s", static_cast<int>(GetLastError()),
              CStringToMultiByte(path).get());
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    LOG_ERROR("GetFileSizeEx() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxRecordBytes) {
    LOG_ERROR("install record too large, size:%lld limit:%d", static_cast<long long>(size.QuadPart),
              static_cast<int>(kMaxRecordBytes));
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes->size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(kReadChunk, bytes->size() - done));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes->data() + done, want, &got, nullptr)) {
      LOG_ERROR("ReadFile() failed, error code:%d", static_cast<int>(GetLastError()));
      return false;
    }
    if (got == 0) break;  // shorter than its size said: keep what is there
    done += got;
  }
  bytes->resize(done);
  return true;
}

bool IsPlainAbsolutePath(const std::wstring& path) {
  if (path.size() < 4 || path[1] != L':' || path[2] != L'\\') return false;
  const wchar_t drive = path[0];
  if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return false;
  size_t start = 3;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring name = path.substr(start, end - start);
    if (name.empty()) {
      if (end == path.size()) return false;  // trailing backslash: a folder
    } else {
      if (name.find_first_not_of(L'.') == std::wstring::npos) return false;  // ".", "..", "..."
      if (name.back() == L'.' || name.back() == L' ') return false;
      for (wchar_t c : name) {
        if (IsBadCharacter(c)) return false;
      }
    }
    start = end + 1;
  }
  return true;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != L'\\') return false;
  return SamePath(path.substr(0, folder.size()), folder);
}

RemovalPlan BuildRemovalPlan(const RecordLines& record, const RemovalRoots& roots, const std::wstring& selfPath) {
  RemovalPlan plan;
  plan.refused = record.emptyLines + record.overlongLines + record.nulLines + (record.unterminatedTail ? 1 : 0);
  if (record.overlongLines != 0) LOG_WARNING("install record: %d overlong lines refused", int(record.overlongLines));
  if (record.nulLines != 0) LOG_WARNING("install record: %d lines with NUL refused", int(record.nulLines));
  if (record.emptyLines != 0) LOG_WARNING("install record: %d empty lines refused", int(record.emptyLines));
  if (record.unterminatedTail) LOG_WARNING("install record: last line has no line feed, refused");

  const bool installRootUsable = !roots.installFolder.empty() && !IsDriveRoot(roots.installFolder);
  if (!installRootUsable) {
    LOG_ERROR("install folder unusable for removal:%s", CStringToMultiByte(roots.installFolder).get());
  }
  const std::wstring ownRecord = roots.installFolder + L"\\" + kInstallInfoName;

  for (const std::string& line : record.lines) {
    const std::wstring recorded = MultiByteToCString(line.c_str());
    if (!IsPlainAbsolutePath(recorded)) {
      LOG_WARNING("install record: not a plain absolute path, refused:%s", line.c_str());
      ++plan.refused;
      continue;
    }
    const std::wstring path = LongForm(recorded);
    const bool inInstall = installRootUsable && IsInsideFolder(path, roots.installFolder);
    const bool inSystem =
        !inInstall && (IsInsideFolder(path, roots.systemX86Folder) || IsInsideFolder(path, roots.driversFolder));
    if (!inInstall && !inSystem) {
      LOG_WARNING("install record: outside the product's folders, refused:%s", line.c_str());
      ++plan.refused;
      continue;
    }
    if (SamePath(path, selfPath) || SamePath(path, ownRecord)) continue;
    const std::wstring base = BaseName(path);
    if (IsUserDataFile(base) || IsRuntimeDll(base)) {
      plan.kept.push_back(path);
      continue;
    }
    (inInstall ? plan.installFiles : plan.systemFiles).push_back(path);
  }
  return plan;
}

}  // namespace qrn
