// UTF-8 for the text that test programs, stand-ins and tools write and
// print (the installer's own 8-bit texts are ANSI, system/SetupInfo).
#pragma once

#include <windows.h>

#include <string>

namespace qrn {

inline std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace qrn
