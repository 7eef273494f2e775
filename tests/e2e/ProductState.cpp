#include "tests/e2e/ProductState.h"

// windows.h first: the shell headers need its macros.
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>

#include "base/Owners.h"
#include "base/Product.h"
#include "payload/ArchiveIndex.h"
#include "payload/MvsReader.h"
#include "payload/NameLists.h"
#include "tests/support/WinFixtures.h"

namespace qrn::test {
namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
  return path;
}

std::wstring FromCp936(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

std::string ToAnsi(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// The system folders the installer reaches with redirection off on 64-bit
// Windows: the 32-bit system folder and the native drivers folder.
std::wstring SystemX86Folder() { return Folder(CSIDL_SYSTEMX86); }

bool Is64BitWindows() {
  if (sizeof(void*) == 8) return true;
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// Where `name` goes, or empty when it is left out on this machine.
std::wstring Route(const std::wstring& name, const std::wstring& installFolder) {
  const size_t first = name.find(L'\\');
  if (first == std::wstring::npos) return std::wstring();
  const size_t second = name.find(L'\\', first + 1);
  if (second == std::wstring::npos) return std::wstring();
  const std::wstring tag = Lower(name.substr(0, first));
  const std::wstring part = Lower(name.substr(first + 1, second - first - 1));
  const std::wstring rest = name.substr(second);
  const bool win64 = Is64BitWindows();
  if (tag == L"32" || tag == L"en32" || tag == L"ch32") {
    if (win64) return std::wstring();
  } else if (tag == L"64" || tag == L"en64" || tag == L"ch64") {
    if (!win64) return std::wstring();
  } else if (tag == L"sys") {
    return part == (win64 ? L"64" : L"32") ? NativeDriversFolder().wstring() + rest : std::wstring();
  }
  if (part == L"program") return installFolder + rest;
  if (part == L"system32") return SystemX86Folder() + rest;
  return std::wstring();
}

std::wstring BaseName(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

}  // namespace

std::vector<RoutedEntry> RouteSetupPayload(const std::wstring& setup, const std::wstring& installFolder,
                                           std::string* error) {
  std::vector<RoutedEntry> routed;
  UniqueMvsFile file(MvsOpen(setup.c_str()));
  if (file.get() == kMvsInvalid) {
    *error = "cannot open the setup";
    return routed;
  }
  uint8_t header[archive::kHeaderSize];
  if (!MvsReadHeader(file.get(), header)) {
    *error = "no archive header";
    return routed;
  }
  archive::ArchiveIndex index;
  if (archive::LoadArchiveIndex(file.get(), archive::DecodeHeader(header), &index, error) !=
      archive::IndexStatus::kOk) {
    return routed;
  }
  for (const archive::IndexEntry& entry : index.entries) {
    if (entry.IsFolder()) continue;
    RoutedEntry r;
    r.entryName = FromCp936(entry.name);
    r.destination = Route(r.entryName, installFolder);
    if (r.destination.empty()) continue;
    const std::wstring base = BaseName(r.destination);
    r.recorded = !IsRuntimeDll(base);
    r.written = !IsSkippedFile(base);
    r.dataOffset = entry.entry.dataOffset;
    r.packedSize = entry.entry.packedSize;
    routed.push_back(r);
  }
  return routed;
}

std::string ExpectedInstallRecord(const std::vector<RoutedEntry>& entries) {
  // A 32-bit test on 64-bit Windows reads the native drivers folder through
  // its Sysnative alias; the installer records the path as it wrote it.
  const std::wstring alias = L"\\Sysnative\\drivers\\";
  std::string record;
  for (const RoutedEntry& e : entries) {
    if (!e.recorded) continue;
    std::wstring path = e.destination;
    const size_t at = path.find(alias);
    if (at != std::wstring::npos) path.replace(at, alias.size(), L"\\system32\\drivers\\");
    record += ToAnsi(path) + "\n";
  }
  return record;
}

std::wstring DataFolder() { return Folder(CSIDL_COMMON_APPDATA) + L"\\" + kProductFolderName; }
std::wstring DesktopLink() { return UserDesktop().wstring() + L"\\Quorrin软件版.lnk"; }
std::wstring StartMenuFolder() { return UserPrograms().wstring() + L"\\Quorrin软件版"; }

namespace {

struct RunningProcess {
  DWORD pid = 0;
  std::wstring exeName;
};

std::vector<RunningProcess> RunningProcesses() {
  std::vector<RunningProcess> running;
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return running;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    running.push_back({entry.th32ProcessID, entry.szExeFile});
  }
  return running;
}

std::wstring ImagePath(DWORD pid) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  wchar_t image[1024] = {};
  DWORD length = 1024;
  if (!process || !::QueryFullProcessImageNameW(process.get(), 0, image, &length)) return std::wstring();
  return image;
}

void EndProcess(DWORD pid) {
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process) return;
  ::TerminateProcess(process.get(), 1);
  ::WaitForSingleObject(process.get(), 5000);
}

}  // namespace

std::vector<DWORD> ProcessesNamed(const std::wstring& name) {
  std::vector<DWORD> found;
  for (const RunningProcess& p : RunningProcesses()) {
    if (Lower(p.exeName) == Lower(name)) found.push_back(p.pid);
  }
  return found;
}

std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
  UniqueHKey opened;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) != ERROR_SUCCESS) return std::wstring();
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return type == REG_SZ || type == REG_EXPAND_SZ ? std::wstring(value) : std::wstring();
}

bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  UniqueHKey opened;
  return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

bool DeleteFolderTree(const std::wstring& folder) {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(folder), ec);
  return !std::filesystem::exists(std::filesystem::path(folder), ec);
}

void ScrubProduct(const std::wstring& installFolder, const std::vector<RoutedEntry>& entries) {
  // The product's and the earlier product's programs wherever they run, and
  // anything else started from the install folder.
  const std::vector<std::wstring> programs = {
      L"qrn.exe",       L"qrnservice.exe", L"qrnlocalencrypt.exe", L"qrnindependentencrypt.exe",
      L"securedel.exe", L"uninstall.exe",  L"tolvek.exe",          L"tolvekservice.exe"};
  const std::wstring folderPrefix = Lower(installFolder + L"\\");
  for (const RunningProcess& p : RunningProcesses()) {
    const bool product = std::find(programs.begin(), programs.end(), Lower(p.exeName)) != programs.end();
    if (product || Lower(ImagePath(p.pid)).rfind(folderPrefix, 0) == 0) EndProcess(p.pid);
  }
  RemoveInstalledComponents();
  RemoveProductRegistryEntries();
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kEarlierUninstallKey, view);
  }
  for (const RoutedEntry& e : entries) {
    if (e.recorded && (installFolder.empty() || e.destination.rfind(installFolder + L"\\", 0) != 0)) {
      RemoveFileWithRetry(std::filesystem::path(e.destination));
    }
  }
  if (!installFolder.empty()) DeleteFolderTree(installFolder);
  DeleteFolderTree(DataFolder());
}

}  // namespace qrn::test
