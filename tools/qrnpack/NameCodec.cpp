#include "tools/qrnpack/NameCodec.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace qrn::pack {

#if defined(_WIN32)
namespace {

std::wstring Widen(const std::string& text, UINT codePage, DWORD flags, bool* ok) {
  *ok = true;
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    *ok = false;
    return std::wstring();
  }
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

}  // namespace

bool Utf8ToCp936(const std::string& utf8, std::string* cp936) {
  bool ok = false;
  const std::wstring wide = Widen(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, &ok);
  if (!ok) return false;
  cp936->clear();
  if (wide.empty()) return true;
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  cp936->assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), cp936->data(), n, nullptr,
                      &usedDefault);
  return !usedDefault;
}

std::string Cp936ToUtf8(const std::string& cp936) {
  bool ok = false;
  const std::wstring wide = Widen(cp936, 936, 0, &ok);
  if (wide.empty()) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

#else
namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string* out, bool lossy) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  bool ok = true;
  while (srcLeft > 0) {
    char buffer[256];
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out->append(buffer, sizeof buffer - dstLeft);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      if (!lossy) {
        ok = false;
        break;
      }
      out->push_back('?');
      ++src;
      --srcLeft;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool Utf8ToCp936(const std::string& utf8, std::string* cp936) { return Convert("CP936", "UTF-8", utf8, cp936, false); }

std::string Cp936ToUtf8(const std::string& cp936) {
  std::string out;
  Convert("UTF-8", "CP936", cp936, &out, true);
  return out;
}
#endif

}  // namespace qrn::pack
