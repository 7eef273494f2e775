#include "payload/NameCase.h"

namespace qrn {
namespace {

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

bool EqualNameIgnoreCase(const std::wstring& text, const wchar_t* name) {
  size_t i = 0;
  for (; i < text.size() && name[i] != L'\0'; ++i) {
    if (AsciiUpper(text[i]) != AsciiUpper(name[i])) return false;
  }
  return i == text.size() && name[i] == L'\0';
}

}  // namespace qrn
