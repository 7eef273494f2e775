#include "tests/support/WinFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "base/Owners.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"

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
  std::error_code ec;
  for (int i = 0; i < 50 && fs::exists(ImagePath(), ec); ++i) {
    if (fs::remove(ImagePath(), ec)) break;
    Sleep(100);
  }
  return gone && !fs::exists(ImagePath(), ec);
}

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

}  // namespace qrn::test
