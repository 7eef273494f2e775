// Fixtures for Windows tests that touch machine-wide state of the Wine
// prefix: service and kernel-driver registrations made and removed, stand-in
// drivers placed in the system drivers folder, and a device queried from a
// separate process. The stand-ins come from the build's standins-bin folder
// (StandIns.h); drivers from its drivers/ folder.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

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

}  // namespace qrn::test
