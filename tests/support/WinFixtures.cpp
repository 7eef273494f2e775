#include "tests/support/WinFixtures.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "base/Owners.h"
#include "base/Product.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"

namespace qrn::test {
namespace fs = std::filesystem;

namespace {

UniqueScHandle OpenManager() { return UniqueScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

}  // namespace

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WaitForServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs) {
  UniqueScHandle manager = OpenManager();
  if (!manager) return false;
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (!service) return false;
  for (DWORD waited = 0;; waited += 100) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState == state) return true;
    if (waited >= timeoutMs) return false;
    Sleep(100);
  }
}

bool ServiceExists(const std::wstring& name) {
  UniqueScHandle manager = OpenManager();
  if (!manager) return false;
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  return static_cast<bool>(service) || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

bool WaitForServiceGone(const std::wstring& name, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 100) {
    if (!ServiceExists(name)) return true;
    if (waited >= timeoutMs) return false;
    Sleep(100);
  }
}

bool RemoveServiceIfPresent(const std::wstring& name) {
  {
    UniqueScHandle manager = OpenManager();
    if (!manager) return false;
    UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
      for (int i = 0; i < 150 && QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
           ++i) {
        Sleep(100);
      }
    }
    DeleteService(service.get());
  }
  return WaitForServiceGone(name, 20000);
}

fs::path DriversFolder() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return fs::path(system) / L"drivers";
}

bool PlaceDriversForWow64Host(const std::vector<uint8_t>& veraCrypt, const std::vector<uint8_t>& disk) {
  std::error_code ec;
  fs::create_directories(DriversFolder(), ec);
  bool placed = true;
  for (const auto& [name, bytes] :
       {std::pair{L"Velmdisk2-x64.sys", &veraCrypt}, std::pair{L"Velmdisk-x64.sys", &disk}}) {
    std::ofstream out(DriversFolder() / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    placed = out.good() && placed;
  }
  return placed;
}

fs::path NativeDriversFolder() {
  wchar_t windows[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return fs::path(windows) / (UnderWow64() ? L"Sysnative" : L"system32") / L"drivers";
}

KernelDriverFixture::KernelDriverFixture(std::wstring serviceName, fs::path source, std::wstring fileName)
    : serviceName_(std::move(serviceName)), source_(std::move(source)), fileName_(std::move(fileName)) {}

KernelDriverFixture::~KernelDriverFixture() { Remove(); }

bool KernelDriverFixture::Install(const std::wstring& imagePath) {
  std::error_code ec;
  fs::copy_file(source_, ImagePath(), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    ADD_FAILURE() << "cannot place " << source_.string() << ": " << ec.message();
    return false;
  }
  UniqueScHandle manager = OpenManager();
  if (!manager) return false;
  const std::wstring image = imagePath.empty() ? ImagePath().wstring() : imagePath;
  UniqueScHandle service(CreateServiceW(manager.get(), serviceName_.c_str(), serviceName_.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,
                                        image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) ADD_FAILURE() << "CreateService failed: " << GetLastError();
  return static_cast<bool>(service);
}

DWORD KernelDriverFixture::Start() {
  UniqueScHandle manager = OpenManager();
  if (!manager) return GetLastError();
  UniqueScHandle service(OpenServiceW(manager.get(), serviceName_.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return GetLastError();
  return StartServiceW(service.get(), 0, nullptr) ? 0 : GetLastError();
}

bool KernelDriverFixture::Remove() {
  const bool gone = RemoveServiceIfPresent(serviceName_);
  // The driver host may hold the file for a moment after the unload.
  return RemoveFileWithRetry(ImagePath()) && gone;
}

namespace {

// The access Wine's service manager asks of a status handle
// (SERVICE_SET_STATUS in its headers; not in the Windows SDK's).
constexpr DWORD kServiceSetStatus = 0x8000;

// Takes SERVICE_ACCEPT_STOP into or out of the controls the running service
// `name` reports; false when it is missing, not running, or the status
// cannot be set.
bool SetStopAccepted(const std::wstring& name, bool accepted) {
  UniqueScHandle manager = OpenManager();
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS | kServiceSetStatus));
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.get(), &status) || status.dwCurrentState != SERVICE_RUNNING) {
    return false;
  }
  if (accepted) {
    status.dwControlsAccepted |= SERVICE_ACCEPT_STOP;
  } else {
    status.dwControlsAccepted &= ~static_cast<DWORD>(SERVICE_ACCEPT_STOP);
  }
  return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(service.get()), &status) != FALSE;
}

}  // namespace

RefusedStops::RefusedStops(std::vector<std::wstring> services) : services_(std::move(services)) {
  for (const std::wstring& service : services_) refused_ = SetStopAccepted(service, false) && refused_;
}

RefusedStops::~RefusedStops() {
  for (const std::wstring& service : services_) AcceptStop(service);
}

void AcceptStop(const std::wstring& name) { SetStopAccepted(name, true); }

DeviceAnswer QueryDevice(const std::wstring& device, DWORD controlCode) {
  TempDir dir;
  const fs::path out = dir / "answer.txt";
  const fs::path helper = StandIn(L"device_query.exe");
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%lx", static_cast<unsigned long>(controlCode));
  DeviceAnswer answer;
  if (RunAndWait(helper, device + L" " + code + L" \"" + out.wstring() + L"\"", 30000) != 0) return answer;
  unsigned long open = 0, control = 0, version = 0, returned = 0;
  if (std::sscanf(ReadText(out).c_str(), "open %lu control %lu version %lu returned %lu", &open, &control, &version,
                  &returned) != 4) {
    return answer;
  }
  answer.ran = true;
  answer.openError = open;
  answer.controlError = control;
  answer.version = version;
  answer.returned = returned;
  return answer;
}

bool RemoveFileWithRetry(const fs::path& path) {
  std::error_code ec;
  for (int i = 0; i < 50 && fs::exists(path, ec); ++i) {
    if (fs::remove(path, ec)) break;
    Sleep(100);
  }
  return !fs::exists(path, ec);
}

StoredService ReadStoredService(const std::wstring& name) {
  StoredService stored;
  UniqueScHandle manager = OpenManager();
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (!service) return stored;
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  if (!QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                           static_cast<DWORD>(buffer.size()), &needed)) {
    return stored;
  }
  const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  stored.found = true;
  stored.type = config->dwServiceType;
  stored.start = config->dwStartType;
  stored.errorControl = config->dwErrorControl;
  stored.imagePath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
  stored.displayName = config->lpDisplayName ? config->lpDisplayName : L"";
  stored.account = config->lpServiceStartName ? config->lpServiceStartName : L"";
  std::vector<BYTE> text(8192);
  if (QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, text.data(), static_cast<DWORD>(text.size()),
                           &needed)) {
    const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(text.data());
    stored.description = description->lpDescription ? description->lpDescription : L"";
  }
  return stored;
}

bool MarkedForDeletion(const std::wstring& name) {
  UniqueScHandle manager = OpenManager();
  UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_CHANGE_CONFIG));
  if (!service) return false;
  return !ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr) &&
         GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

int CountStartingWith(const std::vector<std::string>& lines, const std::string& head) {
  return static_cast<int>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; }));
}

std::vector<std::string> ServiceProgramLog(const fs::path& program, const std::string& head, DWORD timeoutMs) {
  fs::path log = program;
  log.replace_extension(L".log");
  for (DWORD waited = 0;; waited += 100) {
    std::vector<std::string> lines;
    const std::string text = ReadText(log);
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(pos, end - pos));
      pos = end + 2;
    }
    if (head.empty() || CountStartingWith(lines, head) > 0 || waited >= timeoutMs) return lines;
    Sleep(100);
  }
}

std::wstring ReadInprocServer(const std::wstring& clsid) {
  UniqueHKey key;
  const std::wstring path = L"CLSID\\" + clsid + L"\\InprocServer32";
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"";
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
    return L"";
  }
  return value;
}

bool WaitForInprocServer(const std::wstring& clsid, const std::wstring& expected, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 100) {
    if (ReadInprocServer(clsid) == expected) return true;
    if (waited >= timeoutMs) return false;
    Sleep(100);
  }
}

ShellLinkData ReadShellLink(const fs::path& link) {
  ShellLinkData read;
  ComInitScope com;
  ComPtr<IShellLinkW> shellLink;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.put_void())) ||
      FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(link.wstring().c_str(), STGM_READ))) {
    return read;
  }
  read.loaded = true;
  wchar_t text[MAX_PATH * 2] = {};
  // The raw path: what was stored, not resolved against this machine.
  if (shellLink->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH) == S_OK) read.target = text;
  text[0] = L'\0';
  if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH * 2))) read.workingFolder = text;
  text[0] = L'\0';
  if (SUCCEEDED(shellLink->GetIconLocation(text, MAX_PATH * 2, &read.iconIndex))) read.iconPath = text;
  text[0] = L'\0';
  if (SUCCEEDED(shellLink->GetArguments(text, MAX_PATH * 2))) read.arguments = text;
  text[0] = L'\0';
  if (SUCCEEDED(shellLink->GetDescription(text, MAX_PATH * 2))) read.description = text;
  shellLink->GetHotkey(&read.hotKey);
  return read;
}

namespace {
fs::path UserFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return fs::path();
  return fs::path(path);
}
}  // namespace

fs::path UserDesktop() { return UserFolder(CSIDL_DESKTOP); }
fs::path UserPrograms() { return UserFolder(CSIDL_PROGRAMS); }

void DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueHKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) return;
  ::RegDeleteTreeW(key.get(), nullptr);
  key.reset();
  ::RegDeleteKeyExW(root, path.c_str(), view, 0);
}

void RemoveProductRegistryEntries() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey, view);
    DeleteRegistryTree(HKEY_CURRENT_USER, kUninstallKey, view);
    for (const wchar_t* key : {L".safe", L".qrn", L".iqrn", L"qrn_safe_file", L"qrnFile", L"iqrnFile"}) {
      DeleteRegistryTree(HKEY_CLASSES_ROOT, key, view);
    }
  }
}

void RemoveInstalledComponents() {
  for (const wchar_t* driver : {L"VeraCrypt", L"Velmdisk"}) AcceptStop(driver);
  for (const wchar_t* service : {L"VeraCrypt", L"Velmdisk", L"Quorrin软件版保险箱文件保护服务"}) {
    EXPECT_TRUE(RemoveServiceIfPresent(service)) << "service left behind";
  }
  const wchar_t* const drivers[] = {L"Velmdisk2-x64.sys", L"Velmdisk-x64.sys", L"Velmdisk2.sys", L"Velmdisk.sys"};
  for (const wchar_t* file : drivers) EXPECT_TRUE(RemoveFileWithRetry(DriversFolder() / file));
  // A 32-bit test on 64-bit Windows: the installer wrote the 64-bit drivers
  // into the native folder, which this process sees with redirection off.
  if (UnderWow64()) {
    PVOID redirection = nullptr;
    if (Wow64DisableWow64FsRedirection(&redirection)) {
      for (const wchar_t* file : drivers) EXPECT_TRUE(RemoveFileWithRetry(DriversFolder() / file));
      Wow64RevertWow64FsRedirection(redirection);
    }
  }
  // The registrations of both word sizes (one view on 32-bit Windows).
  for (const wchar_t* clsid : {kShellExtClsid, kDragDropClsid}) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      DeleteRegistryTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsid, view);
    }
  }
  std::error_code ec;
  if (!UserDesktop().empty()) fs::remove(UserDesktop() / L"Quorrin软件版.lnk", ec);
  if (!UserPrograms().empty()) fs::remove_all(UserPrograms() / L"Quorrin软件版", ec);
}

}  // namespace qrn::test
