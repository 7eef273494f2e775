// The stand-in drivers load for real in the prefix's driver host (winedevice)
// as kernel-driver services, answer the version queries from another
// process, and take their devices away again when stopped. See
// standins/drivers/README.md for where Wine looks for a driver's image.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

constexpr DWORD kGetDriverVersion = 0x222004;
constexpr DWORD kLegacyGetDriverVersion = 0x72018;

struct Query {
  DWORD code;
  DWORD controlError;  // 0: answered
  DWORD version;
};

struct Case {
  const char* name;
  const wchar_t* build;  // relative to the stand-ins' drivers folder
  const wchar_t* file;   // file name in the system drivers folder
  const wchar_t* device;
  Query queries[2];
};

// STATUS_INVALID_DEVICE_REQUEST reaches the caller as ERROR_INVALID_FUNCTION.
const Case kCases[] = {
    {"disk-encryption driver",
     L"Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"\\\\.\\VeraCrypt",
     {{kGetDriverVersion, 0, 0x0119}, {kLegacyGetDriverVersion, 0, 0x0119}}},
    {"old-version variant",
     L"old-version\\Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"\\\\.\\VeraCrypt",
     {{kGetDriverVersion, 0, 0x0118}, {kLegacyGetDriverVersion, 0, 0x0118}}},
    {"legacy-only variant",
     L"legacy-only\\Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"Velmdisk2" QRN_BUILD_SUFFIX L".sys",
     L"\\\\.\\VeraCrypt",
     {{kGetDriverVersion, ERROR_INVALID_FUNCTION, 0}, {kLegacyGetDriverVersion, 0, 0x0110}}},
    {"virtual-disk driver",
     L"Velmdisk" QRN_BUILD_SUFFIX L".sys",
     L"Velmdisk" QRN_BUILD_SUFFIX L".sys",
     L"\\\\.\\Velmdisk",
     {{kGetDriverVersion, ERROR_INVALID_FUNCTION, 0}, {kLegacyGetDriverVersion, ERROR_INVALID_FUNCTION, 0}}},
};

TEST(StandinDriverTest, LoadsAnswersAndUnloads) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(0u, test::QueryDevice(c.device, kGetDriverVersion).openError) << "device present before loading";

    test::KernelDriverFixture driver(L"QRNTestDriver", test::StandIn(std::wstring(L"drivers\\") + c.build), c.file);
    ASSERT_TRUE(driver.Install());
    ASSERT_EQ(0u, driver.Start());
    EXPECT_TRUE(test::WaitForServiceState(L"QRNTestDriver", SERVICE_RUNNING, 5000));

    for (const Query& q : c.queries) {
      const test::DeviceAnswer answer = test::QueryDevice(c.device, q.code);
      ASSERT_TRUE(answer.ran);
      EXPECT_EQ(0u, answer.openError);
      EXPECT_EQ(q.controlError, answer.controlError) << std::hex << q.code;
      EXPECT_EQ(q.version, answer.version) << std::hex << q.code;
      EXPECT_EQ(q.controlError == 0 ? 4u : 0u, answer.returned) << std::hex << q.code;
    }

    // DriverUnload deletes link and device: the name no longer opens.
    ASSERT_TRUE(driver.Remove());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), test::QueryDevice(c.device, kGetDriverVersion).openError);
  }
}

// A driver that does not stop, as the tests stage it (RefusedStops in
// tests/support/WinFixtures.h): a stop request fails at once with
// ERROR_INVALID_SERVICE_CONTROL, as Windows answers for a driver without an
// unload routine, and again for a second one (no forced stop); the service
// stays running and its device answers. Deleted meanwhile, the service is
// only marked for deletion: still there until the driver stops, then gone.
// Taking stops again, each driver stops as before and loads again.
TEST(StandinDriverTest, ADriverRefusingToStopStaysLoadedUntilItTakesStopsAgain) {
  struct Refusing {
    const char* name;
    const wchar_t* service;
    const wchar_t* file;
    const wchar_t* device;
    bool deleted;  // deleted while it refuses to stop
  };
  const Refusing drivers[] = {
      {"disk-encryption driver", L"QRNTestDriver", L"Velmdisk2" QRN_BUILD_SUFFIX L".sys", L"\\\\.\\VeraCrypt", true},
      {"virtual-disk driver", L"QRNTestDriver2", L"Velmdisk" QRN_BUILD_SUFFIX L".sys", L"\\\\.\\Velmdisk", false},
  };
  std::vector<std::unique_ptr<test::KernelDriverFixture>> fixtures;
  for (const Refusing& d : drivers) {
    fixtures.push_back(std::make_unique<test::KernelDriverFixture>(
        d.service, test::StandIn(std::wstring(L"drivers\\") + d.file), d.file));
    ASSERT_TRUE(fixtures.back()->Install());
    ASSERT_EQ(0u, fixtures.back()->Start());
  }
  {
    test::RefusedStops refused({drivers[0].service, drivers[1].service});
    ASSERT_TRUE(refused.refused());
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const Refusing& d : drivers) {
      SCOPED_TRACE(d.name);
      UniqueScHandle service(OpenServiceW(manager.get(), d.service, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
      ASSERT_TRUE(service);
      for (int request = 0; request < 2; ++request) {
        SERVICE_STATUS status{};
        EXPECT_FALSE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
      }
      SERVICE_STATUS status{};
      ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
      EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
      EXPECT_EQ(0u, test::QueryDevice(d.device, kGetDriverVersion).openError);
      EXPECT_FALSE(test::MarkedForDeletion(d.service));
      if (d.deleted) {
        ASSERT_TRUE(DeleteService(service.get()));
        service.reset();
        EXPECT_TRUE(test::ServiceExists(d.service));
        EXPECT_TRUE(test::MarkedForDeletion(d.service));
      }
    }
  }
  for (size_t i = 0; i < fixtures.size(); ++i) {
    SCOPED_TRACE(drivers[i].name);
    ASSERT_TRUE(fixtures[i]->Remove()) << "stopped and gone";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              test::QueryDevice(drivers[i].device, kGetDriverVersion).openError);
    ASSERT_TRUE(fixtures[i]->Install());
    ASSERT_EQ(0u, fixtures[i]->Start()) << "loads again";
    EXPECT_EQ(0u, test::QueryDevice(drivers[i].device, kGetDriverVersion).openError);
  }
}

// Where the driver host takes the image from: the full path stored as the
// service's ImagePath. A relative "system32\drivers\..." path (the form
// Windows itself accepts) is not resolved by Wine and fails like a missing
// file, with ERROR_DLL_INIT_FAILED (1114).
TEST(StandinDriverTest, WineLoadsTheImageFromTheFullStoredPath) {
  struct PathCase {
    const char* name;
    std::wstring imagePath;
    DWORD startError;
  };
  const std::wstring drivers = test::DriversFolder().wstring();
  const PathCase cases[] = {
      {"full path", drivers + L"\\Velmdisk2" QRN_BUILD_SUFFIX L".sys", 0},
      {"relative to the Windows folder", L"system32\\drivers\\Velmdisk2" QRN_BUILD_SUFFIX L".sys",
       ERROR_DLL_INIT_FAILED},
      {"missing file", drivers + L"\\QRNNoSuchDriver.sys", ERROR_DLL_INIT_FAILED},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::KernelDriverFixture driver(L"QRNTestDriver", test::StandIn(L"drivers\\Velmdisk2" QRN_BUILD_SUFFIX L".sys"),
                                     L"Velmdisk2" QRN_BUILD_SUFFIX L".sys");
    ASSERT_TRUE(driver.Install(c.imagePath));
    const DWORD started = driver.Start();
    if (c.startError == 0) {
      EXPECT_EQ(0u, started);
    } else {
      // Right after another driver host ended (the previous row, or the
      // test before this one), Wine may answer ERROR_INTERNAL_ERROR instead.
      EXPECT_TRUE(started == c.startError || started == ERROR_INTERNAL_ERROR) << started;
    }
    EXPECT_EQ(c.startError == 0 ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              test::QueryDevice(L"\\\\.\\VeraCrypt", kGetDriverVersion).openError);
    ASSERT_TRUE(driver.Remove());
  }
}

}  // namespace
}  // namespace qrn
