#include "app/ProductFolder.h"

#include <cwchar>

namespace qrn {

bool AppendProductFolder(wchar_t* path, size_t capacity, const wchar_t* folderName) {
  if (path == nullptr || capacity == 0 || folderName == nullptr) return false;
  const size_t length = std::wcslen(path);
  const wchar_t* lastSlash = std::wcsrchr(path, L'\\');
  const wchar_t* tail = lastSlash != nullptr ? lastSlash + 1 : nullptr;
  if (tail != nullptr && std::wcscmp(tail, folderName) == 0) return true;

  const bool needSlash = tail == nullptr || *tail != L'\0';
  const size_t nameLength = std::wcslen(folderName);
  const size_t newLength = length + (needSlash ? 1 : 0) + nameLength;
  if (newLength + 1 > capacity) return false;
  size_t at = length;
  if (needSlash) path[at++] = L'\\';
  std::wmemcpy(path + at, folderName, nameLength);
  path[newLength] = L'\0';
  return true;
}

}  // namespace qrn
