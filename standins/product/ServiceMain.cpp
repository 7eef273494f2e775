// Stand-in for the product's service program, QRNService.exe, which the
// installer starts once with "-init" at the end of an installation. With
// "-init" it records its first run in the product's data folder ("Quorrin"
// under the common application-data folder): the file QRNService.init,
// holding the time of that run and the program's path. A later run leaves
// the file as it is, so the file always tells of the first one. Without
// "-init" it only stays for a moment and ends. It shows no window.
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "base/Owners.h"
#include "base/Product.h"
#include "base/Utf8.h"
#include "standins/product/ProductStart.h"

namespace {

// Exit codes: 0 recorded (or recorded before), 1 no data folder, 2 the file
// cannot be written.
int RecordFirstRun() {
  wchar_t common[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) return 1;
  const std::wstring folder = std::wstring(common) + L"\\" + qrn::kProductFolderName;
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return 1;

  // CREATE_NEW: only the first run writes the file.
  qrn::UniqueFile file(::CreateFileW((folder + L"\\QRNService.init").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ::GetLastError() == ERROR_FILE_EXISTS ? 0 : 2;

  wchar_t self[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char time[64] = {};
  std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  const std::string text = std::string("first run ") + time + "\r\nprogram " +
                           qrn::WideToUtf8(std::wstring(self, n < MAX_PATH ? n : 0)) + "\r\n";
  DWORD written = 0;
  if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return 2;
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  qrn::product::RecordStart();
  if (qrn::product::FirstArgument() == L"-init") return RecordFirstRun();
  ::Sleep(1000);
  return 0;
}
