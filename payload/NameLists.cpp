#include "payload/NameLists.h"

#include "system/NewerKernel32.h"

namespace qrn {
namespace {

constexpr const wchar_t* kRuntimeDlls[] = {L"mfc42.dll",   L"msvcp60.dll",  L"msvcrt.dll",
                                           L"msvcrtd.dll", L"msvcp100.dll", L"msvcr100.dll"};
constexpr const wchar_t* kUserDataFiles[] = {L"UserList.db",  L"Tolvek.CONF", L"news.xml",
                                             L"services.xml", L"UserInfo.db", L"Network.conf",
                                             L"banner.png",   L"bannerh.png", L"banner.svg"};
constexpr const wchar_t* kInstallRecords[] = {L"InstallInfo.db", L"SetupInfo.dat"};

template <size_t N>
BOOL InList(const std::wstring& baseName, const wchar_t* const (&list)[N]) {
  for (const wchar_t* name : list) {
    if (EqualOrdinalIgnoreCase(baseName.c_str(), static_cast<int>(baseName.size()), name)) return TRUE;
  }
  return FALSE;
}

}  // namespace

BOOL IsRuntimeDll(const std::wstring& baseName) { return InList(baseName, kRuntimeDlls); }

BOOL IsUserDataFile(const std::wstring& baseName) { return InList(baseName, kUserDataFiles); }

BOOL IsSkippedFile(const std::wstring& baseName) {
  return IsUserDataFile(baseName) || InList(baseName, kInstallRecords) ? TRUE : FALSE;
}

}  // namespace qrn
