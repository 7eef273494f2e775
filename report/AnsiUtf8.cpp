#include "report/AnsiUtf8.h"

#include <windows.h>

namespace qrn {
namespace {

// Length -1 makes the conversions stop at the first NUL, terminator included.
std::wstring ToWide(UINT codePage, const std::string& text) {
  const int n = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

std::string FromWide(UINT codePage, const std::wstring& wide) {
  const int n = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.c_str(), -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) { return FromWide(CP_UTF8, ToWide(CP_ACP, ansi)); }

std::string Utf8ToAnsi(const std::string& utf8) { return FromWide(CP_ACP, ToWide(CP_UTF8, utf8)); }

const TextConversions& AnsiUtf8Conversions() {
  static const TextConversions conversions{AnsiToUtf8, Utf8ToAnsi};
  return conversions;
}

}  // namespace qrn
