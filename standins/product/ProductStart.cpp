#include "standins/product/ProductStart.h"

#include <shellapi.h>

#include "base/Owners.h"
#include "base/Utf8.h"

namespace qrn::product {

std::wstring ExeBaseName() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  const std::wstring full(path, n);
  const size_t slash = full.find_last_of(L'\\');
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

std::wstring FirstArgument() {
  int count = 0;
  UniqueHLocal args(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!args || count < 2) return std::wstring();
  return static_cast<wchar_t**>(args.get())[1];
}

void RecordStart() {
  wchar_t record[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"QRN_PRODUCT_RECORD", record, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::wstring line = ExeBaseName() + L" " + ::GetCommandLineW() + L"\n";
  const std::string utf8 = qrn::WideToUtf8(line);
  if (utf8.empty()) return;
  // FILE_APPEND_DATA: whole lines even when two programs record at once.
  UniqueFile file(::CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace qrn::product
