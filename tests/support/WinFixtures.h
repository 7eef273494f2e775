// Fixtures for Windows tests that touch machine-wide state of the Wine
// prefix: service and kernel-driver registrations made and removed, stand-in
// drivers placed in the system drivers folder, and a device queried from a
// separate process. The stand-ins come from the build's standins-bin folder
// (StandIns.h); drivers from its drivers/ folder.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qrn::test {

// Polls QueryServiceStatus until the service reports `state` or the time is up.
bool WaitForServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs);
bool ServiceExists(const std::wstring& name);
// Polls until the service control manager no longer knows `name`.
bool WaitForServiceGone(const std::wstring& name, DWORD timeoutMs);
// Stops (bounded wait) and deletes a service if it exists, and waits until it
// is gone. True when no service of that name is left.
bool RemoveServiceIfPresent(const std::wstring& name);

// The system drivers folder (system folder + "\drivers").
std::filesystem::path DriversFolder();

// For a 32-bit test on 64-bit Windows: Wine loads a driver service that a
// 32-bit process created with its 32-bit driver host, from SysWOW64\drivers
// (what DriversFolder() names with redirection on), while the installer
// writes the 64-bit drivers into the native folder. The folder is made if
// missing. A file is left as it is when it cannot be
// written, e.g. while a loaded driver holds it, as Windows keeps it too.
// Places both drivers under their x64 payload names; true when both were
// written.
bool PlaceDriversForWow64Host(const std::vector<uint8_t>& veraCrypt, const std::vector<uint8_t>& disk);

// The native drivers folder as this process reaches it: through the
// Sysnative alias for a 32-bit process on 64-bit Windows (where the
// installer writes the drivers with redirection off), else the system's.
std::filesystem::path NativeDriversFolder();

// A kernel-driver service made straight through the service control manager
// (system start, normal error control, image path = the full file path), and
// removed again by Remove() or the destructor together with the driver file
// it placed in the drivers folder.
class KernelDriverFixture {
 public:
  KernelDriverFixture(std::wstring serviceName, std::filesystem::path source, std::wstring fileName);
  ~KernelDriverFixture();
  KernelDriverFixture(const KernelDriverFixture&) = delete;
  KernelDriverFixture& operator=(const KernelDriverFixture&) = delete;
  // Copies the driver into the drivers folder and creates the service with
  // `imagePath` as its ImagePath (empty: the full path of the placed file).
  bool Install(const std::wstring& imagePath = std::wstring());
  // StartService; returns its last-error code (0 when it started).
  DWORD Start();
  bool Remove();
  std::filesystem::path ImagePath() const { return DriversFolder() / fileName_; }

 private:
  std::wstring serviceName_;
  std::filesystem::path source_;
  std::wstring fileName_;
};

// A driver that does not stop, as one holding a mounted volume or a virtual
// disk: for its lifetime, the given running services refuse a stop request
// with ERROR_INVALID_SERVICE_CONTROL and stay running, as Windows answers
// for a driver without an unload routine; the destructor lets them stop
// again. A seam in the service manager, not in the stand-in drivers: it
// takes SERVICE_ACCEPT_STOP out of the controls the service reports, which
// Wine lets any process with SERVICE_SET_STATUS access do (its status
// handles are service handles). Wine 8 cannot take the refusal from the
// driver itself (standins/drivers/README.md). refused() is false when any
// of them could not be set so.
class RefusedStops {
 public:
  explicit RefusedStops(std::vector<std::wstring> services);
  ~RefusedStops();
  RefusedStops(const RefusedStops&) = delete;
  RefusedStops& operator=(const RefusedStops&) = delete;
  bool refused() const { return refused_; }

 private:
  std::vector<std::wstring> services_;
  bool refused_ = true;
};

// Lets a running service take stop requests again (SERVICE_ACCEPT_STOP back
// in the controls it reports); nothing for a service that is missing or not
// running.
void AcceptStop(const std::wstring& name);

// What the device_query helper found, run as a separate process.
struct DeviceAnswer {
  bool ran = false;        // the helper ran and wrote its answer
  DWORD openError = 0;     // CreateFileW's error, 0 when the device opened
  DWORD controlError = 0;  // DeviceIoControl's error, 0 when it answered
  DWORD version = 0;       // the 4 bytes it answered
  DWORD returned = 0;      // bytes returned
};
DeviceAnswer QueryDevice(const std::wstring& device, DWORD controlCode);

std::string ReadText(const std::filesystem::path& path);

// Deletes a file, retrying for up to 5 s while a process still holds it (a
// driver host or service just stopped). True when it is gone.
bool RemoveFileWithRetry(const std::filesystem::path& path);

// A service's configuration as the service control manager stored it.
struct StoredService {
  bool found = false;
  DWORD type = 0, start = 0, errorControl = 0;
  std::wstring imagePath, displayName, account, description;
};
StoredService ReadStoredService(const std::wstring& name);
// Whether the service was deleted but still exists, as one whose program or
// driver is still loaded does: it goes once that stops (at the latest at the
// next start of Windows) and cannot be changed meanwhile. Probed with a
// configuration change that changes nothing.
bool MarkedForDeletion(const std::wstring& name);

// The lines a stand-in protection service wrote beside `program`
// ("<program without extension>.log"), waiting up to `timeoutMs` for one
// that starts with `head` (no wait when `head` is empty).
std::vector<std::string> ServiceProgramLog(const std::filesystem::path& program, const std::string& head = "",
                                           DWORD timeoutMs = 0);
int CountStartingWith(const std::vector<std::string>& lines, const std::string& head);

// The stand-in shell-extension libraries' class ids (standins/CMakeLists.txt).
inline constexpr wchar_t kShellExtClsid[] = L"{30745EAB-C2A5-49C0-9E56-280882DB5F55}";
inline constexpr wchar_t kDragDropClsid[] = L"{3DDEA44B-E212-4683-9D13-0914722D1D02}";
// HKCR\CLSID\<clsid>\InprocServer32's default value; empty when missing.
std::wstring ReadInprocServer(const std::wstring& clsid);
// Polls up to `timeoutMs` until it reads `expected`.
bool WaitForInprocServer(const std::wstring& clsid, const std::wstring& expected, DWORD timeoutMs);

// A shortcut read back through the shell's link object.
struct ShellLinkData {
  bool loaded = false;
  std::wstring target, workingFolder, iconPath, arguments, description;
  int iconIndex = -1;
  WORD hotKey = 0;
};
ShellLinkData ReadShellLink(const std::filesystem::path& link);

// The current user's Desktop and Start-menu Programs folders.
std::filesystem::path UserDesktop();
std::filesystem::path UserPrograms();

// Deletes a registry key with everything under it (in `view`); nothing when
// it does not exist.
void DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// What the registry stage leaves: the uninstall entry and the per-user
// marker, the file types and their classes, in both registry views (the
// installer writes the 32-bit one, which Wine keeps apart for the user's
// and the class keys too).
void RemoveProductRegistryEntries();

// Everything the driver, registration and shortcut stages leave in the
// prefix: the services "VeraCrypt", "Velmdisk" and the protection service
// (stopped, deleted, gone; a driver a failed test left refusing to stop
// takes the stop again first), the four driver files in the drivers folder, the
// stand-in libraries' registrations, and the product's shortcuts and
// Start-menu folder. Tests call it before and after themselves.
void RemoveInstalledComponents();

}  // namespace qrn::test
