#include "tests/support/WinFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/Owners.h"
#include "log/LogModule.h"

namespace qrn::test {
namespace fs = std::filesystem;

namespace {

// A Linux path of the build as the prefix sees it.
fs::path FromBuildPath(const char* unixPath) {
  std::wstring path = L"Z:" + fs::path(unixPath).wstring();
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return fs::path(path);
}

UniqueScHandle OpenManager() { return UniqueScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

}  // namespace

fs::path StandinFile(const std::wstring& relative) { return FromBuildPath(QRN_STANDINS_DIR) / relative; }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LogCapture::LogCapture() { EXPECT_TRUE(LogInit("Install", dir_.path().string().c_str())); }

LogCapture::~LogCapture() { LogUninit(); }

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    std::istringstream text(ReadText(entry.path()));
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  return lines;
}

std::vector<std::string> LogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : Lines()) {
    const size_t dollar = line.find('$');
    messages.push_back(dollar == std::string::npos ? line : line.substr(dollar + 1));
  }
  return messages;
}

int LogCapture::Count(const std::string& message) const {
  const auto messages = Messages();
  return static_cast<int>(std::count(messages.begin(), messages.end(), message));
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

DWORD RunAndWait(const std::wstring& application, const std::wstring& commandLine, DWORD timeoutMs) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, process.put())) {
    return static_cast<DWORD>(-1);
  }
  if (WaitForSingleObject(process.get().hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get().hProcess, 1);
    return static_cast<DWORD>(-1);
  }
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.get().hProcess, &code);
  return code;
}

DeviceAnswer QueryDevice(const std::wstring& device, DWORD controlCode) {
  TempDir dir;
  const fs::path out = dir / "answer.txt";
  const fs::path helper = FromBuildPath(QRN_DEVICE_QUERY_EXE);
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%lx", static_cast<unsigned long>(controlCode));
  const std::wstring command =
      L"\"" + helper.wstring() + L"\" " + device + L" " + code + L" \"" + out.wstring() + L"\"";
  DeviceAnswer answer;
  if (RunAndWait(helper.wstring(), command, 30000) != 0) return answer;
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
