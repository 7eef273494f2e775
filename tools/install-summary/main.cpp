// install-summary: prints what an installation of Quorrin left on this
// machine, read back from the machine itself: the uninstall entry and the
// per-user marker, the installed files (the install record InstallInfo.db),
// the file types, the shell-extension registrations, the services and their
// states, the drivers' answers, the shortcuts and the data folder.
//
//   install-summary.exe
//
// Output is UTF-8. Exit code 0 when the installation is complete enough to
// use (uninstall entry, install record and the product program present), 1
// otherwise.
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "base/Product.h"
#include "base/Utf8.h"

namespace qrn::summary {
namespace {

constexpr DWORD kGetDriverVersion = 0x222004;

void Line(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fwrite("\n", 1, 1, stdout);
}

void Line(const std::wstring& text) { Line(WideToUtf8(text)); }

void Heading(const char* title) {
  Line("");
  Line(std::string("== ") + title);
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
  return path;
}

// A string value of a key; empty when the key or value is missing.
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view, std::wstring* value) {
  UniqueHKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return false;
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  *value = data;
  return true;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueHKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// Every value of the uninstall entry; the install folder from its
// UninstallString. The installer is a 32-bit program, so its entry is in the
// 32-bit view.
std::wstring UninstallEntry() {
  Heading("Uninstall entry (HKLM, 32-bit view)");
  const std::wstring path = kUninstallKey;
  Line(L"  HKLM\\" + path);
  UniqueHKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) != ERROR_SUCCESS) {
    Line("  MISSING: the product is not installed");
    return std::wstring();
  }
  std::wstring uninstall;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256] = {};
    DWORD nameLength = 256;
    BYTE data[2048] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring shown;
    if (type == REG_SZ) {
      shown = L"\"" + std::wstring(reinterpret_cast<const wchar_t*>(data)) + L"\"";
      if (std::wstring(name) == L"UninstallString") uninstall = reinterpret_cast<const wchar_t*>(data);
    } else if (type == REG_DWORD) {
      shown = std::to_wstring(*reinterpret_cast<const DWORD*>(data)) + L" (REG_DWORD)";
    } else {
      shown = L"(type " + std::to_wstring(type) + L")";
    }
    Line(L"  " + std::wstring(name) + L" = " + shown);
  }
  Line(std::string("  per-user marker HKCU\\...\\Uninstall\\") + WideToUtf8(kProductUninstallKey) + ": " +
       (KeyExists(HKEY_CURRENT_USER, kUninstallKey, 0) ? "present" : "MISSING"));
  const size_t slash = uninstall.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : uninstall.substr(0, slash);
}

std::string FileFacts(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return "not on disk";
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "folder";
  const ULONGLONG size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return std::to_string(size) + " bytes";
}

std::wstring Widen(const std::string& ansi) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return wide;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The install record: ANSI lines, each ending in a bare line feed. Each path
// with its size, or what is on disk instead. Files in the install folder that
// the record does not list follow (runtime libraries, the record itself).
bool InstalledFiles(const std::wstring& folder) {
  Heading("Installed files (InstallInfo.db)");
  const std::wstring record = folder + L"\\InstallInfo.db";
  UniqueFile file(::CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    Line(L"  MISSING: " + record);
    return false;
  }
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  std::vector<std::wstring> recorded;
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    recorded.push_back(Widen(bytes.substr(start, end - start)));
    start = end + 1;
  }
  for (const std::wstring& path : recorded) Line(L"  " + path + L"  [" + Widen(FileFacts(path)) + L"]");
  Line("  " + std::to_string(recorded.size()) + " paths recorded");

  Line("  in the install folder, not recorded:");
  WIN32_FIND_DATAW found{};
  UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &found)) {
    const std::wstring path = folder + L"\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    bool listed = false;
    for (const std::wstring& r : recorded) listed = listed || SameText(r, path);
    if (!listed) Line(L"    " + path + L"  [" + Widen(FileFacts(path)) + L"]");
  }
  return true;
}

// The installer is a 32-bit program: its HKEY_CLASSES_ROOT writes go to the
// 32-bit view, which Windows shares with the 64-bit one for file types;
// Wine keeps them apart, so both views are read.
void FileTypes() {
  Heading("File types (HKCR)");
  for (const wchar_t* extension : {L".safe", L".qrn", L".iqrn"}) {
    bool found = false;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      std::wstring progId;
      if (!ReadString(HKEY_CLASSES_ROOT, extension, nullptr, view, &progId)) continue;
      found = true;
      std::wstring command, icon;
      ReadString(HKEY_CLASSES_ROOT, progId + L"\\Shell\\open\\command", nullptr, view, &command);
      ReadString(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon", nullptr, view, &icon);
      Line(L"  " + std::wstring(extension) + L" -> " + progId +
           (view == KEY_WOW64_32KEY ? L" (32-bit view)" : L" (64-bit view)"));
      Line(L"    open: " + (command.empty() ? std::wstring(L"MISSING") : command));
      Line(L"    icon: " + (icon.empty() ? std::wstring(L"MISSING") : icon));
    }
    if (!found) Line(L"  " + std::wstring(extension) + L": MISSING");
  }
}

void ShellExtensions() {
  Heading("Shell extensions (HKCR\\CLSID, as registered by regsvr32)");
  const struct {
    const wchar_t* name;
    const wchar_t* clsid;
  } kExtensions[] = {{L"QRNShellExt", L"{30745EAB-C2A5-49C0-9E56-280882DB5F55}"},
                     {L"QRNDragDrop", L"{3DDEA44B-E212-4683-9D13-0914722D1D02}"}};
  for (const auto& extension : kExtensions) {
    std::wstring shown;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      std::wstring server;
      if (!ReadString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + extension.clsid + L"\\InprocServer32", nullptr,
                      view, &server)) {
        continue;
      }
      shown += (view == KEY_WOW64_64KEY ? L" 64-bit view: " : L" 32-bit view: ") + server;
    }
    Line(L"  " + std::wstring(extension.name) + L":" + (shown.empty() ? std::wstring(L" not registered") : shown));
  }
}

const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "stopped";
    case SERVICE_START_PENDING:
      return "start pending";
    case SERVICE_STOP_PENDING:
      return "stop pending";
    case SERVICE_RUNNING:
      return "running";
    case SERVICE_CONTINUE_PENDING:
      return "continue pending";
    case SERVICE_PAUSE_PENDING:
      return "pause pending";
    case SERVICE_PAUSED:
      return "paused";
    default:
      return "unknown";
  }
}

void Services() {
  Heading("Services");
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    Line("  the service control manager cannot be opened");
    return;
  }
  for (const wchar_t* name : {L"VeraCrypt", L"Velmdisk",
                              L"Quorrin\u8f6f\u4ef6\u7248\u4fdd\u9669\u7bb1\u6587\u4ef6\u4fdd\u62a4\u670d\u52a1"}) {
    UniqueScHandle service(::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) {
      Line(L"  " + std::wstring(name) + L": MISSING");
      continue;
    }
    SERVICE_STATUS status{};
    ::QueryServiceStatus(service.get(), &status);
    BYTE buffer[8192] = {};
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    std::wstring image;
    if (::QueryServiceConfigW(service.get(), config, sizeof buffer, &needed) && config->lpBinaryPathName) {
      image = config->lpBinaryPathName;
    }
    Line(L"  " + std::wstring(name) + L": " + Widen(StateName(status.dwCurrentState)) + L", " + image);
  }
}

void Drivers() {
  Heading("Drivers answering");
  for (const wchar_t* device : {L"\\\\.\\VeraCrypt", L"\\\\.\\Velmdisk"}) {
    UniqueFile handle(::CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) {
      Line(L"  " + std::wstring(device) + L": does not open (error " + std::to_wstring(::GetLastError()) + L")");
      continue;
    }
    DWORD version = 0, returned = 0;
    if (::DeviceIoControl(handle.get(), kGetDriverVersion, nullptr, 0, &version, sizeof version, &returned, nullptr) &&
        returned == sizeof version) {
      char text[64];
      std::snprintf(text, sizeof text, "opens, version 0x%04lX", static_cast<unsigned long>(version));
      Line(L"  " + std::wstring(device) + L": " + Widen(text));
    } else {
      Line(L"  " + std::wstring(device) + L": opens (no version query: error " + std::to_wstring(::GetLastError()) +
           L")");
    }
  }
}

void Shortcut(const std::wstring& link) {
  if (::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Line(L"  " + link + L": MISSING");
    return;
  }
  ComPtr<IShellLinkW> shellLink;
  ComPtr<IPersistFile> file;
  wchar_t target[MAX_PATH] = {}, icon[MAX_PATH] = {};
  int iconIndex = 0;
  if (FAILED(
          ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.put_void())) ||
      FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(link.c_str(), STGM_READ))) {
    Line(L"  " + link + L": cannot be read");
    return;
  }
  shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  shellLink->GetIconLocation(icon, MAX_PATH, &iconIndex);
  Line(L"  " + link);
  Line(L"    -> " + std::wstring(target) +
       (icon[0] ? L", icon " + std::wstring(icon) + L"," + std::to_wstring(iconIndex) : std::wstring()));
}

void Shortcuts() {
  Heading("Shortcuts");
  const ComInitScope com;
  const std::wstring desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  const std::wstring programs = SpecialFolder(CSIDL_PROGRAMS) + L"\\Quorrin\u8f6f\u4ef6\u7248";
  Shortcut(desktop + L"\\Quorrin\u8f6f\u4ef6\u7248.lnk");
  Shortcut(programs + L"\\\u542f\u52a8Quorrin.lnk");
  Shortcut(programs + L"\\\u5378\u8f7dQuorrin.lnk");
  Shortcut(programs + L"\\\u52a0\u5bc6\u52a9\u624b\\\u6587\u4ef6\u5f7b\u5e95\u7c89\u788e.lnk");
}

void ListFolder(const std::wstring& folder, int depth) {
  WIN32_FIND_DATAW found{};
  UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &found)) {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const std::wstring indent(static_cast<size_t>(2 + depth * 2), L' ');
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Line(indent + name + L"\\");
      if (depth < 3) ListFolder(path, depth + 1);
    } else {
      Line(indent + name + L"  [" + Widen(FileFacts(path)) + L"]");
    }
  }
}

void DataFolder() {
  const std::wstring folder = SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\" + kProductFolderName;
  Heading("Data folder");
  Line(L"  " + folder);
  if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Line("  MISSING");
    return;
  }
  ListFolder(folder, 0);
  // The service program's first run (QRNService.exe -init) leaves this note.
  UniqueFile note(::CreateFileW((folder + L"\\QRNService.init").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!note) {
    Line("  QRNService.init: MISSING (QRNService.exe -init has not run)");
    return;
  }
  char text[1024] = {};
  DWORD got = 0;
  ::ReadFile(note.get(), text, sizeof text - 1, &got, nullptr);
  Line("  QRNService.init says:");
  std::string body(text, got);
  for (size_t start = 0; start < body.size();) {
    size_t end = body.find_first_of("\r\n", start);
    if (end == std::string::npos) end = body.size();
    if (end > start) Line("    " + body.substr(start, end - start));
    start = end + 1;
  }
}

int Run() {
  Line("Quorrin installation summary");
  const std::wstring folder = UninstallEntry();
  bool complete = !folder.empty();
  if (complete) {
    Line(L"  install folder: " + folder);
    complete =
        InstalledFiles(folder) && ::GetFileAttributesW((folder + L"\\QRN.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  FileTypes();
  ShellExtensions();
  Services();
  Drivers();
  Shortcuts();
  DataFolder();
  std::fflush(stdout);
  return complete ? 0 : 1;
}

}  // namespace
}  // namespace qrn::summary

int wmain() { return qrn::summary::Run(); }
