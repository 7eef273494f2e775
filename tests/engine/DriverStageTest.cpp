// The driver and service stage in the prefix, for real: the stand-in drivers
// (standins/drivers) are loaded by Wine's driver host and asked their
// version from a separate process; the stand-in protection service really
// runs and logs its starts and stops beside itself.
//
// Each build uses its own stand-in drivers, under both payload names
// (sys\32's "Velmdisk2.sys" and sys\64's "Velmdisk2-x64.sys"): a prefix loads
// only drivers of its own word size.
//  - The 64-bit build stands in for the 32-bit installer (see
//    SetIsWow64ForTesting) in the 64-bit prefix, on "64-bit" and "32-bit
//    Windows" alike.
//  - The 32-bit build answers for real: 32-bit Windows in the 32-bit prefix;
//    WoW64 in the 64-bit prefix, where the installer writes the sys\64 files
//    into the native drivers folder with redirection off. There Wine loads a
//    driver service that a 32-bit process created with its 32-bit driver
//    host, from SysWOW64\drivers (Windows would load the x64 file from the
//    native folder), so the fixture places this build's drivers there under
//    the x64 names.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "engine/DriverStage.h"
#include "engine/InstallSettings.h"
#include "payload/ExtractArchive.h"
#include "system/SetupInfo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::CountStartingWith;
using test::LogCapture;

// This build's stand-in driver `base` ("Velmdisk2", "old-version\\Velmdisk2", ...).
std::wstring Build(const wchar_t* base) { return std::wstring(L"drivers\\") + base + QRN_BUILD_SUFFIX L".sys"; }

std::vector<uint8_t> DriverBuild(const wchar_t* base) { return test::ReadBytes(test::StandIn(Build(base))); }

// Records every status text the stage sets.
struct StatusRecorder {
  InstallSettings* settings;
  std::vector<std::wstring> texts;
  static void OnChange(void* context) {
    auto* self = static_cast<StatusRecorder*>(context);
    self->texts.push_back(self->settings->statusLine.Get());
  }
};

class DriverStageTest : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN64)
    SetIsWow64ForTesting(1);
#endif
    test::RemoveInstalledComponents();
    settings_.installFolder = (dir_.path() / L"Program Files" / L"Quorrin").wstring();
    fs::create_directories(settings_.installFolder);
  }
  void TearDown() override {
    test::RemoveInstalledComponents();
    for (const fs::path& file : extraDrivers_) EXPECT_TRUE(test::RemoveFileWithRetry(file));
    SetIsWow64ForTesting(-1);
  }

  fs::path Program() const { return fs::path(settings_.installFolder) / kProtectServiceProgram; }
  fs::path Driver(const wchar_t* file) const { return test::DriversFolder() / file; }

  // What the extraction pass leaves for this stage: the drivers of both word
  // sizes (this build's, see above) and the protection service program.
  void ExtractPayload(const std::vector<uint8_t>& veraCrypt) {
    const std::vector<uint8_t> disk = DriverBuild(L"Velmdisk");
    test::WriteSelfSetup(
        setup_, {
                    {"sys\\64\\Velmdisk2-x64.sys", veraCrypt},
                    {"sys\\64\\Velmdisk-x64.sys", disk},
                    {"sys\\32\\Velmdisk2.sys", veraCrypt},
                    {"sys\\32\\Velmdisk.sys", disk},
                    {"main\\Program\\QRNProtectService.exe", test::ReadBytes(test::StandIn(L"QRNProtectService.exe"))},
                });
    ASSERT_TRUE(ExtractArchiveSetup(settings_, setup_.wstring()));
    if (test::UnderWow64()) {
      // Where Wine's 32-bit driver host looks (see above). A driver still
      // loaded from there keeps its file (the write fails), as the
      // extraction skips a loaded driver's file.
      test::PlaceDriversForWow64Host(veraCrypt, disk);
    }
  }
  void ExtractPayload() { ExtractPayload(DriverBuild(L"Velmdisk2")); }

  // A driver of an earlier installation, loaded as the real service from
  // `file` in the drivers folder.
  void PreloadVeraCrypt(const wchar_t* variant, const std::wstring& file) {
    if (file != VeraCryptDriverFile()) extraDrivers_.push_back(Driver(file.c_str()));
    fs::copy_file(test::StandIn(Build(variant)), Driver(file.c_str()), fs::copy_options::overwrite_existing);
    ASSERT_TRUE(LoadDriver(kVeraCryptService, file));
  }

  test::TempDir dir_;
  fs::path setup_ = dir_ / "setup" / "QuorrinSetup.exe";
  InstallSettings settings_;
  std::vector<fs::path> extraDrivers_;
};

// A first installation on both word sizes: both devices missing, both
// drivers loaded from the files just extracted, version 0x0119 read by
// another process, the protection service created with its description and
// a quoted program path, and running.
class FirstInstallationTest : public DriverStageTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FirstInstallationTest, LoadsBothDriversAndStartsTheProtectionService) {
#if defined(_WIN64)
  SetIsWow64ForTesting(GetParam() ? 1 : 0);
#else
  if (GetParam() != test::UnderWow64()) {
    GTEST_SKIP() << "the 32-bit build runs this row in the " << (GetParam() ? "64" : "32") << "-bit prefix";
  }
#endif
  ExtractPayload();
  StatusRecorder status{&settings_, {}};
  settings_.statusLine.SetListener(StatusRecorder::OnChange, &status);
  LogCapture log;

  ASSERT_TRUE(InstallDriver(settings_));

  const test::DeviceAnswer answer = test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION);
  ASSERT_TRUE(answer.ran);
  EXPECT_EQ(0u, answer.openError);
  EXPECT_EQ(DRIVER_VERSION_EXPECTED, answer.version);
  EXPECT_EQ(0u, test::QueryDevice(kVirtualDiskDevice, IOCTL_GET_DRIVER_VERSION).openError);

  const std::wstring files[] = {GetParam() ? L"Velmdisk2-x64.sys" : L"Velmdisk2.sys",
                                GetParam() ? L"Velmdisk-x64.sys" : L"Velmdisk.sys"};
  const wchar_t* services[] = {kVeraCryptService, kVirtualDiskService};
  for (int i = 0; i < 2; ++i) {
    const test::StoredService driver = test::ReadStoredService(services[i]);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), driver.type);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), driver.start);
    EXPECT_EQ(GetDriversDir() + L"\\" + files[i], driver.imagePath);
  }

  const test::StoredService service = test::ReadStoredService(kProtectServiceName);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), service.type);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), service.start);
  EXPECT_EQ(std::wstring(kProtectServiceDescription), service.description);
  EXPECT_EQ(L"\"" + Program().wstring() + L"\"", service.imagePath);
  EXPECT_TRUE(test::WaitForServiceState(kProtectServiceName, SERVICE_RUNNING, 10000));
  EXPECT_EQ(1, CountStartingWith(test::ServiceProgramLog(Program(), "start", 10000), "start pid="));

  EXPECT_EQ(2, log.Count("error:CreateFile failed, error code:2")) << log.Text();
  EXPECT_EQ(0, CountStartingWith(log.Messages(), "error:CheckDrive")) << log.Text();
  EXPECT_EQ((std::vector<std::wstring>{L"正在安装驱动...", L"正在安装服务...", L"正在启动服务..."}), status.texts);
}

INSTANTIATE_TEST_SUITE_P(DriverStage, FirstInstallationTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "OnWow64" : "On32BitWindows";
                         });

// A running driver of the previous version is stopped, deleted and replaced
// by the file the extraction has just written. The old one runs from a file
// of another name: a loaded driver's image cannot be overwritten (Wine's
// driver host keeps it mapped, as Windows does), see the next test.
TEST_F(DriverStageTest, ReplacesARunningDriverOfAnotherVersion) {
  PreloadVeraCrypt(L"old-version\\Velmdisk2", L"Velmdisk2-previous.sys");
  ASSERT_EQ(0x0118u, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).version);
  ExtractPayload();
  LogCapture log;
  EXPECT_TRUE(CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile()));
  EXPECT_EQ((std::vector<std::string>{"error:DeviceIoControl failed, driver version:280 code version:281",
                                      "error:CreateFile failed, error code:2"}),
            log.Messages());
  EXPECT_EQ(DRIVER_VERSION_EXPECTED, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).version);
  EXPECT_EQ(GetDriversDir() + L"\\" + VeraCryptDriverFile(), test::ReadStoredService(kVeraCryptService).imagePath);
}

// The old driver runs from the payload's own file name: the extraction
// cannot write over its image (the file is skipped), every reload brings the
// old version back, and the cycle ends after kMaxDriverReloads with failure.
TEST_F(DriverStageTest, GivesUpAfterThreeReloadsOfAnotherVersion) {
  PreloadVeraCrypt(L"old-version\\Velmdisk2", VeraCryptDriverFile());
  ExtractPayload();
  ASSERT_TRUE(test::ReadBytes(Driver(VeraCryptDriverFile())) == DriverBuild(L"old-version\\Velmdisk2"))
      << "the loaded image was overwritten after all";
  LogCapture log;
  EXPECT_FALSE(CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile()));
  EXPECT_EQ(kMaxDriverReloads + 1, log.Count("error:DeviceIoControl failed, driver version:280 code version:281"));
  EXPECT_EQ(kMaxDriverReloads, log.Count("error:CreateFile failed, error code:2"));
  EXPECT_EQ(1, log.Count("error:CheckDrive() gave up after 3 reloads"));
}

// A driver that knows only the legacy query is accepted, whatever version it
// reports, and stays loaded.
TEST_F(DriverStageTest, AcceptsADriverAnsweringOnlyTheLegacyQuery) {
  PreloadVeraCrypt(L"legacy-only\\Velmdisk2", VeraCryptDriverFile());
  LogCapture log;
  EXPECT_TRUE(CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile()));
  EXPECT_EQ((std::vector<std::string>{"error:DeviceIoControl failed, error code:1"}), log.Messages());
  EXPECT_EQ(0x0110u, test::QueryDevice(kVeraCryptDevice, IOCTL_LEGACY_GET_DRIVER_VERSION).version)
      << "the legacy driver must not have been replaced";
}

// A registration left behind without its device (here naming a file that is
// gone) is deleted and made again, pointing at the new file.
TEST_F(DriverStageTest, RemakesARegistrationWhoseDeviceIsMissing) {
  ExtractPayload();
  {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle stale(CreateServiceW(manager.get(), kVeraCryptService, kVeraCryptService, SERVICE_ALL_ACCESS,
                                        SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,
                                        L"C:\\old\\Velmdisk2-x64.sys", nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(stale) << GetLastError();
  }

  LogCapture log;
  EXPECT_TRUE(CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile()));
  EXPECT_EQ((std::vector<std::string>{"error:CreateFile failed, error code:2"}), log.Messages());
  EXPECT_EQ(GetDriversDir() + L"\\" + VeraCryptDriverFile(), test::ReadStoredService(kVeraCryptService).imagePath);
  EXPECT_EQ(DRIVER_VERSION_EXPECTED, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).version);
}

// A driver that cannot start (its file is missing): one delete-and-recreate,
// then the failure; neither the virtual-disk driver nor the protection
// service is touched.
TEST_F(DriverStageTest, ADriverThatFailsToStartEndsTheStage) {
  LogCapture log;
  EXPECT_FALSE(InstallDriver(settings_));
  EXPECT_EQ(
      (std::vector<std::string>{"error:CreateFile failed, error code:2", "error:StartService failed, error code:1114",
                                "error:LoadDriver failed", "error:CheckDrive() failed"}),
      log.Messages());
  EXPECT_FALSE(test::ServiceExists(kVirtualDiskService));
  EXPECT_FALSE(test::ServiceExists(kProtectServiceName));
}

// A driver found loaded, as an earlier installation left it (its
// uninstaller could not stop it), whatever became of its registration: it
// is neither stopped nor loaded again, and its service ends up as a first
// installation makes it, naming this installation's file, so that the
// driver loads at the next start of Windows.
enum class Registration {
  kMissing,      // the service was deleted (the driver runs under another name here)
  kOtherFile,    // the service loads a file of another name
  kDemandStart,  // this installation's file, but not loaded at system start
};

struct FoundLoadedCase {
  const char* name;
  const wchar_t* service;
  const wchar_t* device;
  bool checkVersion;
  const wchar_t* build;  // this build's stand-in driver
  Registration registration;
  const char* logLine;  // "<level>:<message>" up to the service name
};

const FoundLoadedCase kFoundLoadedCases[] = {
    {"DiskEncryptionWithoutService", kVeraCryptService, kVeraCryptDevice, true, L"Velmdisk2", Registration::kMissing,
     "warning:driver loaded without its service, service created again:"},
    {"DiskEncryptionNamingAnotherFile", kVeraCryptService, kVeraCryptDevice, true, L"Velmdisk2",
     Registration::kOtherFile, "warning:service of a loaded driver changed to load "},
    {"DiskEncryptionOnDemandStart", kVeraCryptService, kVeraCryptDevice, true, L"Velmdisk2", Registration::kDemandStart,
     "warning:service of a loaded driver changed to load "},
    {"VirtualDiskWithoutService", kVirtualDiskService, kVirtualDiskDevice, false, L"Velmdisk", Registration::kMissing,
     "warning:driver loaded without its service, service created again:"},
    {"VirtualDiskNamingAnotherFile", kVirtualDiskService, kVirtualDiskDevice, false, L"Velmdisk",
     Registration::kOtherFile, "warning:service of a loaded driver changed to load "},
};

void PrintTo(const FoundLoadedCase& c, std::ostream* os) { *os << c.name; }

class FoundLoadedTest : public DriverStageTest, public ::testing::WithParamInterface<FoundLoadedCase> {};

TEST_P(FoundLoadedTest, RegistersItToLoadThisInstallationsFile) {
  const FoundLoadedCase& c = GetParam();
  const std::wstring service = c.service;
  const std::wstring file = service == kVeraCryptService ? VeraCryptDriverFile() : VirtualDiskDriverFile();
  const bool otherName = c.registration != Registration::kDemandStart;
  test::KernelDriverFixture earlier(c.registration == Registration::kMissing ? L"QRNEarlierDriver" : service,
                                    test::StandIn(Build(c.build)),
                                    otherName ? std::wstring(c.build) + L"-earlier.sys" : file);
  ASSERT_TRUE(earlier.Install());
  ASSERT_EQ(0u, earlier.Start());
  if (c.registration == Registration::kDemandStart) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle handle(OpenServiceW(manager.get(), c.service, SERVICE_CHANGE_CONFIG));
    ASSERT_TRUE(ChangeServiceConfigW(handle.get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  const std::wstring imagePath = GetDriversDir() + L"\\" + file;
  const std::string name = CStringToMultiByte(service).get();
  const std::string changedTo =
      c.registration == Registration::kMissing ? std::string() : std::string(CStringToMultiByte(imagePath).get()) + ":";

  LogCapture log;
  EXPECT_TRUE(CheckDrive(service, c.device, c.checkVersion, file));

  EXPECT_EQ((std::vector<std::string>{c.logLine + changedTo + name}), log.Messages());
  const test::StoredService stored = test::ReadStoredService(service);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), stored.type);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), stored.start);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), stored.errorControl);
  EXPECT_EQ(imagePath, stored.imagePath);
  EXPECT_FALSE(test::MarkedForDeletion(service));
  // Still the driver found loaded, never stopped.
  EXPECT_TRUE(test::WaitForServiceState(c.registration == Registration::kMissing ? L"QRNEarlierDriver" : service,
                                        SERVICE_RUNNING, 0));
  const test::DeviceAnswer answer = test::QueryDevice(c.device, IOCTL_GET_DRIVER_VERSION);
  EXPECT_EQ(0u, answer.openError);
  if (c.checkVersion) {
    EXPECT_EQ(DRIVER_VERSION_EXPECTED, answer.version);
  }
}

INSTANTIATE_TEST_SUITE_P(DriverStage, FoundLoadedTest, ::testing::ValuesIn(kFoundLoadedCases),
                         [](const ::testing::TestParamInfo<FoundLoadedCase>& info) { return info.param.name; });

// A driver of another version that does not stop (it refuses the stop
// request, as one holding a mounted volume does): no reload cycle; it stays
// loaded for this session, and its service stays, changed to load the file
// the extraction has just written at the next start of Windows. The stage
// fails.
TEST_F(DriverStageTest, KeepsTheServiceOfADriverOfAnotherVersionThatDoesNotStop) {
  PreloadVeraCrypt(L"old-version\\Velmdisk2", L"Velmdisk2-previous.sys");
  ExtractPayload();
  test::RefusedStops refused({kVeraCryptService});
  ASSERT_TRUE(refused.refused());
  const std::wstring imagePath = GetDriversDir() + L"\\" + VeraCryptDriverFile();

  LogCapture log;
  EXPECT_FALSE(CheckDrive(kVeraCryptService, kVeraCryptDevice, true, VeraCryptDriverFile()));

  EXPECT_EQ((std::vector<std::string>{
                "error:DeviceIoControl failed, driver version:280 code version:281",
                "error:UnloadDriver() driver did not stop, its service stays:VeraCrypt",
                "error:CheckDrive() driver of another version stays loaded until the next start of Windows",
                "warning:service of a loaded driver changed to load " +
                    std::string(CStringToMultiByte(imagePath).get()) + ":VeraCrypt",
            }),
            log.Messages());
  const test::StoredService stored = test::ReadStoredService(kVeraCryptService);
  ASSERT_TRUE(stored.found) << "the service of a driver still loaded was deleted";
  EXPECT_FALSE(test::MarkedForDeletion(kVeraCryptService)) << "the service of a driver still loaded was deleted";
  EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), stored.start);
  EXPECT_EQ(imagePath, stored.imagePath);
  EXPECT_EQ(0x0118u, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).version);
}

// The state an older uninstaller left: the disk-encryption driver still
// loaded, its service deleted all the same and so only marked for deletion
// (it goes at the next start of Windows and cannot be changed before). The
// driver works for this session, so the stage does not end there: the
// virtual-disk driver and the protection service are installed as usual,
// and the stage reports the registration it could not make.
TEST_F(DriverStageTest, ReportsADriverWhoseServiceIsMarkedForDeletionAndGoesOn) {
  ExtractPayload();
  ASSERT_TRUE(LoadDriver(kVeraCryptService, VeraCryptDriverFile()));
  {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueScHandle service(OpenServiceW(manager.get(), kVeraCryptService, DELETE));
    ASSERT_TRUE(DeleteService(service.get()));
  }
  ASSERT_TRUE(test::MarkedForDeletion(kVeraCryptService));

  LogCapture log;
  EXPECT_FALSE(InstallDriver(settings_));

  EXPECT_EQ((std::vector<std::string>{
                "error:ChangeServiceConfig failed, error code:1072",
                "error:CheckDrive() driver loaded, but not registered to load at the next start of Windows",
                "error:CreateFile failed, error code:2",
                "error:OpenService() failed, error code:1060",  // no protection service yet
            }),
            log.Messages());
  EXPECT_EQ(DRIVER_VERSION_EXPECTED, test::QueryDevice(kVeraCryptDevice, IOCTL_GET_DRIVER_VERSION).version);
  EXPECT_EQ(0u, test::QueryDevice(kVirtualDiskDevice, IOCTL_GET_DRIVER_VERSION).openError);
  EXPECT_TRUE(test::WaitForServiceState(kProtectServiceName, SERVICE_RUNNING, 10000));
}

// A second installation: the protection service still running from the first
// is stopped, deleted, created afresh and started again.
TEST_F(DriverStageTest, RestartsAProtectionServiceLeftRunning) {
  ExtractPayload();
  ASSERT_TRUE(InstallDriver(settings_));
  ASSERT_TRUE(test::WaitForServiceState(kProtectServiceName, SERVICE_RUNNING, 10000));
  LogCapture log;
  ASSERT_TRUE(InstallDriver(settings_)) << log.Text();
  EXPECT_EQ(1, log.Count("debug:ControlService() stopped"));
  EXPECT_TRUE(test::WaitForServiceState(kProtectServiceName, SERVICE_RUNNING, 10000));
  std::vector<std::string> lines = test::ServiceProgramLog(Program());
  for (int i = 0; i < 100 && lines.size() < 3; ++i, Sleep(100)) lines = test::ServiceProgramLog(Program());
  ASSERT_EQ(3u, lines.size()) << "start, stop, start";
  EXPECT_EQ(0u, lines[0].rfind("start pid=", 0));
  EXPECT_EQ(0u, lines[1].rfind("stop pid=", 0));
  EXPECT_EQ(0u, lines[2].rfind("start pid=", 0));
  EXPECT_EQ(0, log.Count("error:CreateFile failed, error code:2")) << "drivers were loaded already";
}

// The old protection service does not stop within the wait: it is only
// marked for deletion, so the new one cannot be created and the stage fails.
TEST_F(DriverStageTest, FailsWhenTheOldProtectionServiceDoesNotStopInTime) {
  ExtractPayload();
  ASSERT_TRUE(InstallDriver(settings_));
  ASSERT_TRUE(test::WaitForServiceState(kProtectServiceName, SERVICE_RUNNING, 10000));
  test::WriteBytes(fs::path(Program()).replace_extension(L".stoppending"), {'7', '0', '0', '0'});
  LogCapture log;
  EXPECT_FALSE(InstallDriver(settings_));
  EXPECT_EQ(1, log.Count("error:CreateService() failed, error code:1072"));
  EXPECT_EQ(1, log.Count("error:Service_InstallDriver() failed, path:" +
                         std::string(CStringToMultiByte(Program().wstring()).get())));
  EXPECT_TRUE(test::WaitForServiceGone(kProtectServiceName, 20000));
}

}  // namespace
}  // namespace qrn
