// The stand-in product programs as the installer and the end-to-end tests
// meet them: each notes its start (exe name and full command line, UTF-8) in
// the file QRN_PRODUCT_RECORD names; the windowed ones show a window naming
// the product or themselves and close after QRN_PRODUCT_CLOSE_AFTER;
// "QRNService.exe -init" records its first run in the data folder and never
// overwrites that record.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "base/Utf8.h"
#include "tests/support/SelfSetup.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Sets an environment variable of this process (and so of the programs it
// starts) for one test.
class EnvScope {
 public:
  EnvScope(const wchar_t* name, const std::wstring& value) : name_(name) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~EnvScope() { SetEnvironmentVariableW(name_, nullptr); }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  const wchar_t* name_;
};

struct TopWindowSearch {
  DWORD processId;
  std::wstring title;
};

BOOL CALLBACK FindTopWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  search->title = title;
  return FALSE;
}

// The title of the process's visible top-level window, waited for.
std::wstring WindowTitle(DWORD processId) {
  for (int i = 0; i < 200; ++i) {
    TopWindowSearch search{processId, L""};
    EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.title.empty()) return search.title;
    Sleep(50);
  }
  return L"";
}

TEST(StandinProductTest, WindowedProgramsRecordTheirStartShowTheirWindowAndCloseWhenAsked) {
  struct Case {
    const wchar_t* exe;
    const wchar_t* titlePart;
  };
  const Case cases[] = {
      {L"QRN.exe", L"Quorrin 6.1.0.3_20200220"},
      {L"QRNLocalEncrypt.exe", L"QRNLocalEncrypt.exe"},
      {L"QRNIndependentEncrypt.exe", L"QRNIndependentEncrypt.exe"},
      {L"SecureDel.exe", L"SecureDel.exe"},
  };
  test::TempDir dir;
  const fs::path record = dir.path() / L"record.txt";
  EnvScope recordTo(L"QRN_PRODUCT_RECORD", record.wstring());
  EnvScope closeAfter(L"QRN_PRODUCT_CLOSE_AFTER", L"1500");
  // A file argument with a blank and Chinese letters, quoted as the file
  // types' open commands quote "%1".
  const std::wstring argument = L"\"" + (dir.path() / L"保险箱 1.safe").wstring() + L"\"";
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.exe));
    const fs::path program = test::StandIn(std::wstring(L"product\\") + c.exe);
    UniqueProcessInformation process;
    test::Launch(program, argument, &process);
    ASSERT_NE(nullptr, process.get().hProcess) << "cannot start " << program.string();
    EXPECT_NE(std::wstring::npos, WindowTitle(process.get().dwProcessId).find(c.titlePart));
    if (WaitForSingleObject(process.get().hProcess, 15000) != WAIT_OBJECT_0) {
      TerminateProcess(process.get().hProcess, 1);
      ADD_FAILURE() << "the window did not close itself";
    }
    expected += WideToUtf8(std::wstring(c.exe) + L" \"" + program.wstring() + L"\" " + argument + L"\n");
  }
  EXPECT_EQ(expected, ReadText(record));
}

class ServiceInitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t common[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)));
    folder_ = fs::path(common) / L"Quorrin";
    std::error_code ec;
    hadFolder_ = fs::exists(folder_, ec);
    fs::remove(init(), ec);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(init(), ec);
    if (!hadFolder_) fs::remove(folder_, ec);  // only when empty
  }
  fs::path init() const { return folder_ / L"QRNService.init"; }

  fs::path folder_;
  bool hadFolder_ = false;
};

TEST_F(ServiceInitTest, InitRecordsTheFirstRunOnlyAndEveryStartIsRecorded) {
  test::TempDir dir;
  const fs::path record = dir.path() / L"record.txt";
  EnvScope recordTo(L"QRN_PRODUCT_RECORD", record.wstring());
  const fs::path program = test::StandIn(L"product\\QRNService.exe");

  ASSERT_EQ(0u, test::RunAndWait(program, L"-init", 30000));
  const std::string first = ReadText(init());
  EXPECT_EQ(0u, first.rfind("first run 2", 0)) << first;
  EXPECT_NE(std::string::npos, first.find("program " + WideToUtf8(program.wstring()) + "\r\n")) << first;

  Sleep(1100);  // a second run within the same second would not show a rewrite
  ASSERT_EQ(0u, test::RunAndWait(program, L"-init", 30000));
  EXPECT_EQ(first, ReadText(init())) << "a later run replaced the first run's record";
  ASSERT_EQ(0u, test::RunAndWait(program, L"", 30000));
  EXPECT_EQ(first, ReadText(init()));

  const std::string quoted = "\"" + WideToUtf8(program.wstring()) + "\"";
  EXPECT_EQ(
      "QRNService.exe " + quoted + " -init\nQRNService.exe " + quoted + " -init\nQRNService.exe " + quoted + " \n",
      ReadText(record));
}

}  // namespace
}  // namespace qrn
