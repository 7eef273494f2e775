// The stand-in shell-extension libraries register and unregister themselves
// through the system's regsvr32, leaving a registration a test can read:
// HKCR\CLSID\{id}\InprocServer32 = the DLL's own path. Each build registers
// its own libraries through the regsvr32 of its word size (for a 32-bit
// program on 64-bit Windows the system folder is SysWOW64's).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/WinFixtures.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;

fs::path SystemRegsvr32() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return fs::path(system) / L"regsvr32.exe";
}

TEST(StandinShellExtTest, RegistersAndUnregistersThroughRegsvr32) {
  struct Case {
    const wchar_t* file;
    const wchar_t* clsid;
  };
  const Case cases[] = {
      {L"QRNShellExt" QRN_BUILD_SUFFIX L".dll", test::kShellExtClsid},
      {L"QRNDragDrop" QRN_BUILD_SUFFIX L".dll", test::kDragDropClsid},
  };
  test::TempDir dir;
  const fs::path folder = dir.path() / L"Quorrin 软件版";
  fs::create_directories(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(fs::path(c.file).string());
    const fs::path dll = folder / c.file;
    fs::copy_file(test::StandIn(c.file), dll);
    ASSERT_EQ(L"", test::ReadInprocServer(c.clsid)) << "registered before the test";

    const std::wstring quoted = L"\"" + dll.wstring() + L"\"";
    EXPECT_EQ(0u, test::RunAndWait(SystemRegsvr32(), L"-s " + quoted, 60000));
    EXPECT_EQ(dll.wstring(), test::ReadInprocServer(c.clsid));

    EXPECT_EQ(0u, test::RunAndWait(SystemRegsvr32(), L"-u -s " + quoted, 60000));
    EXPECT_EQ(L"", test::ReadInprocServer(c.clsid));
  }
}

}  // namespace
}  // namespace qrn
