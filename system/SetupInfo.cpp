#include "system/SetupInfo.h"

#include <new>

namespace qrn {

std::wstring MultiByteToCString(const char* ansi) {
  if (ansi == nullptr) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));  // drop the converted terminator
  return wide;
}

std::unique_ptr<char[]> CStringToMultiByte(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int n = length == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::unique_ptr<char[]> ansi(new (std::nothrow) char[static_cast<size_t>(n > 0 ? n : 0) + 1]);
  if (!ansi) return ansi;
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.get(), n, nullptr, nullptr);
  ansi[n > 0 ? n : 0] = '\0';
  return ansi;
}

}  // namespace qrn
