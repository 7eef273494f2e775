// Service_InstallDriver, Service_DeleteService and Service_StartService
// against the real service control manager of the Wine prefix, with the
// stand-in protection service (standins/ProtectService.cpp) as the program:
// it appends "start ..." and "stop ..." to a log beside itself, so each test
// sees whether, and which, program the manager really ran.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "system/ServiceControl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;

const wchar_t kServiceName[] = L"QRNTestProtectService";
const wchar_t kDescription[] = L"防止保险箱文件误删除（测试）";

using test::CountStartingWith;
using test::ReadStoredService;
using test::ServiceProgramLog;

class ServiceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::RemoveServiceIfPresent(kServiceName)) << "a service left by an earlier run cannot be removed";
    // A folder with a blank in its name, as under Program Files.
    const fs::path folder = dir_ / "Quorrin Test";
    fs::create_directories(folder);
    program_ = folder / "QRNProtectService.exe";
    fs::copy_file(test::StandIn(L"QRNProtectService.exe"), program_);
  }
  void TearDown() override { EXPECT_TRUE(test::RemoveServiceIfPresent(kServiceName)); }

  bool Install() { return Service_InstallDriver(kServiceName, kDescription, QuotedImagePath(program_.wstring())); }

  test::TempDir dir_;
  fs::path program_;
};

// The whole life of the protection service: created with its settings and a
// quoted command line, started (the program really runs), stopped within the
// wait, deleted.
TEST_F(ServiceControlTest, CreatesStartsStopsAndDeletesTheService) {
  LogCapture log;
  ASSERT_TRUE(Install());

  const test::StoredService stored = ReadStoredService(kServiceName);
  ASSERT_TRUE(stored.found);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), stored.type);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), stored.start);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), stored.errorControl);
  EXPECT_EQ(std::wstring(kServiceName), stored.displayName);
  EXPECT_EQ(L"LocalSystem", stored.account);
  EXPECT_EQ(L"\"" + program_.wstring() + L"\"", stored.imagePath);
  EXPECT_EQ(std::wstring(kDescription), stored.description);

  ASSERT_TRUE(Service_StartService(kServiceName));
  EXPECT_TRUE(test::WaitForServiceState(kServiceName, SERVICE_RUNNING, 10000));
  EXPECT_EQ(1, CountStartingWith(ServiceProgramLog(program_, "start", 10000), "start pid="));

  ASSERT_TRUE(Service_DeleteService(kServiceName));
  EXPECT_EQ(1, CountStartingWith(ServiceProgramLog(program_), "stop pid="));
  EXPECT_TRUE(test::WaitForServiceGone(kServiceName, 10000));

  EXPECT_EQ(1, log.Count("debug:ControlService() stopped"));
  EXPECT_EQ(0, CountStartingWith(log.Messages(), "error:")) << "unexpected error line";
}

// An existing service is not overwritten, and its description is kept.
TEST_F(ServiceControlTest, CreateFailsForAnExistingServiceAndLeavesItsDescription) {
  ASSERT_TRUE(Install());
  LogCapture log;
  EXPECT_FALSE(Service_InstallDriver(kServiceName, L"another description", L"C:\\elsewhere.exe"));
  EXPECT_EQ(1, log.Count("error:CreateService() failed, error code:1073"));
  EXPECT_EQ(std::wstring(kDescription), ReadStoredService(kServiceName).description);
  EXPECT_EQ(L"\"" + program_.wstring() + L"\"", ReadStoredService(kServiceName).imagePath);
}

TEST_F(ServiceControlTest, DeletingAMissingServiceFailsWithOneLine) {
  LogCapture log;
  EXPECT_FALSE(Service_DeleteService(kServiceName));
  EXPECT_EQ(std::vector<std::string>{"error:OpenService() failed, error code:1060"}, log.Messages());
}

// A stopped service: the stop request fails quietly and it is deleted.
TEST_F(ServiceControlTest, DeletesAStoppedServiceWithoutStopLines) {
  ASSERT_TRUE(Install());
  LogCapture log;
  EXPECT_TRUE(Service_DeleteService(kServiceName));
  EXPECT_TRUE(log.Messages().empty());
  EXPECT_TRUE(test::WaitForServiceGone(kServiceName, 10000));
  EXPECT_TRUE(ServiceProgramLog(program_).empty()) << "the program must not have run";
}

// A running service is not started twice and counts as started. The
// interrogation that comes first never answers: the start access (0xF003F)
// lacks SERVICE_INTERROGATE, so it fails with access denied on Windows and
// Wine alike, and the start request finds the service already running.
TEST_F(ServiceControlTest, StartingARunningServiceSucceedsWithoutASecondStart) {
  ASSERT_TRUE(Install());
  ASSERT_TRUE(Service_StartService(kServiceName));
  ASSERT_TRUE(test::WaitForServiceState(kServiceName, SERVICE_RUNNING, 10000));
  LogCapture log;
  EXPECT_TRUE(Service_StartService(kServiceName));
  EXPECT_TRUE(log.Messages().empty());
  Sleep(500);
  EXPECT_EQ(1, CountStartingWith(ServiceProgramLog(program_, "start", 10000), "start pid=")) << "started once only";
}

TEST_F(ServiceControlTest, StartingAMissingServiceFails) {
  LogCapture log;
  EXPECT_FALSE(Service_StartService(kServiceName));
  EXPECT_EQ(std::vector<std::string>{"error:OpenService failed, error code:1060"}, log.Messages());
}

// A service that stays in SERVICE_STOP_PENDING: the wait gives up after its
// three checks, the service is only marked for deletion (a new one of that
// name cannot be created yet), and it goes once it has stopped.
TEST_F(ServiceControlTest, GivesUpOnAServiceStuckInStopPendingAndMarksItForDeletion) {
  fs::path marker = program_;
  marker.replace_extension(L".stoppending");
  test::WriteBytes(marker, {'7', '0', '0', '0'});  // stays pending 7 s, longer than the 4 s wait
  ASSERT_TRUE(Install());
  ASSERT_TRUE(Service_StartService(kServiceName));
  ASSERT_TRUE(test::WaitForServiceState(kServiceName, SERVICE_RUNNING, 10000));

  LogCapture log;
  EXPECT_TRUE(Service_DeleteService(kServiceName));
  EXPECT_EQ(3, log.Count("debug:ControlService() stopping"));
  EXPECT_EQ(1, CountStartingWith(log.Messages(), "error:ControlService() failed to stop, error code:"));
  EXPECT_EQ(0, log.Count("debug:ControlService() stopped"));
  EXPECT_EQ(0, CountStartingWith(ServiceProgramLog(program_), "stop pid=")) << "still stopping when the wait ended";

  EXPECT_FALSE(Install()) << "a service marked for deletion still holds its name";
  EXPECT_EQ(1, log.Count("error:CreateService() failed, error code:1072"));

  EXPECT_TRUE(test::WaitForServiceGone(kServiceName, 20000));
  EXPECT_EQ(1, CountStartingWith(ServiceProgramLog(program_, "stop", 10000), "stop pid="));
}

// The unquoted service path hole: the manager hands the stored command line
// to CreateProcess, which tries "C:\Program.exe" first for an unquoted
// "C:\Program Files\...". The quoted path runs the real program; the unquoted
// row shows the fixture can see the hole at all.
TEST(ServiceImagePathTest, AQuotedPathNeverRunsAPlantedProgram) {
  struct Case {
    const char* name;
    bool quoted;
    bool plantedRuns;
  };
  const Case cases[] = {
      {"quoted (what the installer stores)", true, false},
      {"unquoted (the hole, for comparison)", false, true},
  };
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
  const fs::path drive = fs::path(windows).root_path();
  const fs::path planted = drive / L"Program.exe";
  const fs::path plantedLog = drive / L"Program.log";
  ASSERT_FALSE(fs::exists(planted)) << "refusing to overwrite " << planted.string();
  const fs::path folder = drive / L"Program Files" / L"Quorrin Path Test";

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test::RemoveServiceIfPresent(kServiceName));
    fs::create_directories(folder);
    const fs::path program = folder / L"QRNProtectService.exe";
    fs::copy_file(test::StandIn(L"QRNProtectService.exe"), program, fs::copy_options::overwrite_existing);
    // The planted program is the stand-in too: it behaves as a service and
    // leaves C:\Program.log if it is ever run.
    fs::copy_file(test::StandIn(L"QRNProtectService.exe"), planted, fs::copy_options::overwrite_existing);
    ScopeExit cleanup([&] {
      EXPECT_TRUE(test::RemoveServiceIfPresent(kServiceName));
      std::error_code ec;
      for (int i = 0; i < 50 && (fs::exists(planted, ec) || fs::exists(folder, ec)); ++i) {
        fs::remove(planted, ec);
        fs::remove(plantedLog, ec);
        fs::remove_all(folder, ec);
        if (fs::exists(planted, ec) || fs::exists(folder, ec)) Sleep(100);
      }
      fs::remove(plantedLog, ec);
      EXPECT_FALSE(fs::exists(planted, ec));
      EXPECT_FALSE(fs::exists(folder, ec));
    });

    const std::wstring path = program.wstring();
    ASSERT_TRUE(Service_InstallDriver(kServiceName, kDescription, c.quoted ? QuotedImagePath(path) : path));
    Service_StartService(kServiceName);
    // Whichever program the manager ran has written its start line by now.
    const bool plantedRan = !ServiceProgramLog(planted, "start", c.plantedRuns ? 8000 : 0).empty();
    const bool realRan = !ServiceProgramLog(program, "start", c.plantedRuns ? 0 : 8000).empty();
    EXPECT_EQ(c.plantedRuns, plantedRan);
    EXPECT_EQ(!c.plantedRuns, realRan);
  }
}

TEST(QuotedImagePathTest, QuotesOncePathsOfAnyShape) {
  struct Case {
    const wchar_t* path;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\Quorrin\\QRNProtectService.exe", L"\"C:\\Program Files\\Quorrin\\QRNProtectService.exe\""},
      {L"C:\\Quorrin\\QRNProtectService.exe", L"\"C:\\Quorrin\\QRNProtectService.exe\""},
      {L"\"C:\\Program Files\\x.exe\"", L"\"C:\\Program Files\\x.exe\""},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.expected), QuotedImagePath(c.path));
}

}  // namespace
}  // namespace qrn
