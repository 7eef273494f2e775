// System facts under Wine: the version table, the WOW64 answer and its test
// override, special folders, uninstall strings in the 32-bit registry view,
// the disk-free text, the redirection switch, resources written to files and
// the ANSI conversions (code page 936 in the test prefixes).
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>
#include <wininet.h>
#include <winternl.h>

#include <filesystem>
#include <string>

#include "system/DelayLoadHooks.h"
#include "system/SetupInfo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPlatform.h"

namespace qrn {
namespace {

using test::LogCapture;
using test::TempDir;

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         CompareStringOrdinal(text.c_str() + text.size() - tail.size(), static_cast<int>(tail.size()), tail.c_str(),
                              static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

// ---- Redirection. Must run before any other test of this program calls
// LoadSys64Fun: the entry points, once loaded, stay for the process. ----

TEST(RedirectionTest, SwitchingOffWithoutLoadedEntryPointsFailsInsteadOfCrashing) {
  LogCapture log;
  PVOID old = nullptr;
  EXPECT_FALSE(DisableWow64Redirection(&old));
  EXPECT_TRUE(log.Contains("$error:m_FunWow64DisableWow64FsRedirection failed, error code:127"));
}

TEST(RedirectionTest, SwitchingBackOnWithoutHavingSwitchedOffIsANoOp) {
  LogCapture log;
  EXPECT_TRUE(EnableWow64Redirection(nullptr));
  EXPECT_EQ(log.Text(), "");
}

TEST(RedirectionTest, LoadsTheEntryPointsAndSwitchesAsTheProcessAllows) {
  LogCapture log;
  ASSERT_TRUE(LoadSys64Fun());
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  PVOID old = nullptr;
  if (!wow64) {
    // A native process has nothing to redirect: Windows refuses the switch.
    EXPECT_FALSE(DisableWow64Redirection(&old));
    EXPECT_TRUE(log.Contains("$error:m_FunWow64DisableWow64FsRedirection failed, error code:"));
    EXPECT_TRUE(EnableWow64Redirection(nullptr));
  } else {
    // A 32-bit process on 64-bit Windows: with redirection off System32 is
    // the native folder, and it must come back on although the old value
    // handed out by the first switch is null.
    wchar_t windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::wstring probe = std::wstring(windows) + L"\\System32\\qrn-redirect-probe.txt";
    const std::wstring native = std::wstring(windows) + L"\\Sysnative\\qrn-redirect-probe.txt";
    ASSERT_TRUE(DisableWow64Redirection(&old));
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_TRUE(EnableWow64Redirection(old));
    EXPECT_NE(GetFileAttributesW(native.c_str()), INVALID_FILE_ATTRIBUTES) << "written to the native folder";
    EXPECT_EQ(GetFileAttributesW(probe.c_str()), INVALID_FILE_ATTRIBUTES) << "redirection is back on";
    DeleteFileW(native.c_str());
  }
  FreeSys64Fun();
}

// A system DLL first needed while the thread has redirection off: a 32-bit
// process would look for it in the native 64-bit folder, the load would
// fail and the delay-load helper would raise an exception nobody catches.
// The hooks load it with redirection on for that moment.
TEST(RedirectionTest, ADllFirstNeededWithRedirectionOffStillLoads) {
  if (!test::UnderWow64()) GTEST_SKIP() << "only a 32-bit process on 64-bit Windows has redirection to switch";
  if (GetModuleHandleW(L"wininet.dll") != nullptr) GTEST_SKIP() << "wininet is loaded already";
  InstallDelayLoadHooks(1);
  ASSERT_TRUE(LoadSys64Fun());
  PVOID old = nullptr;
  ASSERT_TRUE(DisableWow64Redirection(&old));
  SYSTEMTIME time{};
  time.wYear = 2026;
  time.wMonth = 12;
  time.wDay = 10;
  wchar_t text[INTERNET_RFC1123_BUFSIZE * 2] = {};
  const BOOL formatted = InternetTimeFromSystemTimeW(&time, INTERNET_RFC1123_FORMAT, text, sizeof text);
  // Redirection is still off for the thread's own file work.
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring probe = std::wstring(windows) + L"\\System32\\qrn-redirect-probe.txt";
  const std::wstring native = std::wstring(windows) + L"\\Sysnative\\qrn-redirect-probe.txt";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_TRUE(EnableWow64Redirection(old));
  FreeSys64Fun();
  EXPECT_TRUE(formatted);
  EXPECT_NE(std::wstring(text).find(L"2026"), std::wstring::npos);
  EXPECT_NE(GetFileAttributesW(native.c_str()), INVALID_FILE_ATTRIBUTES)
      << "redirection was switched on after the load";
  DeleteFileW(native.c_str());
}

// ---- Version ----

TEST(OsVersionTest, ClassifiesTheWholeTable) {
  struct Case {
    DWORD platform, major, minor;
    BYTE productType;
    OsVersionCode code;
  };
  const BYTE ws = VER_NT_WORKSTATION, dc = VER_NT_DOMAIN_CONTROLLER, server = VER_NT_SERVER;
  const Case cases[] = {
      {0, 3, 10, 0, 1},      {0, 0, 0, ws, 1},  // Win32s, any version
      {1, 4, 0, 0, 2},       {1, 4, 10, 0, 3},      {1, 4, 90, 0, 4},       {1, 4, 20, 0, 0},      {1, 5, 0, 0, 0},
      {2, 4, 0, ws, 6},      {2, 4, 51, server, 6},  // NT 4.x
      {2, 5, 0, ws, 7},      {2, 5, 1, ws, 8},      {2, 5, 3, ws, 0},       {2, 5, 2, ws, 9},      {2, 5, 2, 0, 9},
      {2, 5, 2, server, 10}, {2, 5, 2, dc, 10},     {2, 6, 0, ws, 11},      {2, 6, 0, server, 12}, {2, 6, 0, dc, 12},
      {2, 6, 1, ws, 13},     {2, 6, 1, server, 14}, {2, 6, 2, ws, 15},      {2, 6, 2, dc, 16},     {2, 6, 3, ws, 17},
      {2, 6, 3, server, 18}, {2, 10, 0, ws, 19},    {2, 10, 0, server, 20}, {2, 10, 0, dc, 20},    {2, 6, 4, ws, 0},
      {2, 3, 51, ws, 0},     {2, 10, 1, ws, 0},     {2, 11, 0, ws, 0},      {3, 10, 0, ws, 0},     {4, 6, 1, ws, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyOsVersion(c.platform, c.major, c.minor, c.productType), c.code)
        << "platform " << c.platform << " version " << c.major << "." << c.minor << " type " << int{c.productType};
  }
}

TEST(OsVersionTest, RealCallClassifiesWhatTheKernelReports) {
  // RtlGetVersion is the kernel's own record, independent of the Win32 call.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
  ASSERT_NE(rtlGetVersion, nullptr);
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(rtlGetVersion(&info), 0);
  const OsVersionCode code = GetOSVersionCode();
  EXPECT_NE(code, 0) << info.dwMajorVersion << "." << info.dwMinorVersion;
  EXPECT_EQ(code, ClassifyOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.wProductType));
  EXPECT_EQ(GetOSVersionCode(), code);
}

// ---- Word size ----

TEST(IsWow64Test, AnswersForTheProcessAndCanBeOverriddenForTests) {
  BOOL real = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &real));
  EXPECT_EQ(IsWow64(), real);
  SetIsWow64ForTesting(1);
  EXPECT_EQ(IsWow64(), TRUE);
  SetIsWow64ForTesting(0);
  EXPECT_EQ(IsWow64(), FALSE);
  SetIsWow64ForTesting(-1);
  EXPECT_EQ(IsWow64(), real);
}

// ---- Folders ----

TEST(FoldersTest, NameTheSpecialFoldersAndKeepThem) {
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring system = std::wstring(windows) + L"\\system32";

  const std::wstring drivers = GetDriversDir();
  EXPECT_EQ(CompareStringOrdinal(drivers.c_str(), -1, (system + L"\\drivers").c_str(), -1, TRUE), CSTR_EQUAL)
      << std::filesystem::path(drivers).string();
  EXPECT_EQ(GetDriversDir(), drivers);

  // The 32-bit system folder: SysWOW64 on 64-bit Windows, the system folder
  // itself on 32-bit Windows.
  const std::wstring x86 = GetSystemX86Dir();
  EXPECT_TRUE(EndsWithNoCase(x86, test::OnWindows64() ? L"\\syswow64" : L"\\system32"))
      << std::filesystem::path(x86).string();
  EXPECT_NE(GetFileAttributesW(x86.c_str()), INVALID_FILE_ATTRIBUTES);

  const std::wstring install = GetDefaultInstallDir();
  EXPECT_TRUE(EndsWithNoCase(install, L"\\Quorrin"));
  const std::wstring programFiles = install.substr(0, install.size() - 8);
  EXPECT_NE(GetFileAttributesW(programFiles.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetDefaultInstallDir(), install);

  wchar_t common[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
  EXPECT_EQ(GetAppDataDir(), std::wstring(common) + L"\\Quorrin");
}

// ---- Uninstall strings ----

class UninstallStringTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const wchar_t* key : {kUninstallKey, kEarlierUninstallKey}) {
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
    }
  }
  static void Put(const wchar_t* keyName, REGSAM view, const wchar_t* value, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    if (value != nullptr) {
      EXPECT_EQ(RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes),
                ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }
  static void Put(const wchar_t* keyName, REGSAM view, const std::wstring& value) {
    Put(keyName, view, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
};

TEST_F(UninstallStringTest, ReadsEachEntryAsStoredFromThe32BitView) {
  const std::wstring own = L"\"C:\\Program Files (x86)\\Quorrin\\Uninstall.exe\" -S";
  const std::wstring earlier = L"C:\\Program Files (x86)\\Tolvek\\卸载.exe";
  Put(kUninstallKey, KEY_WOW64_32KEY, own);
  Put(kEarlierUninstallKey, KEY_WOW64_32KEY, earlier);
  EXPECT_EQ(GetUninstallString(), own);
  EXPECT_EQ(GetEarlierUninstallString(), earlier);
}

TEST_F(UninstallStringTest, AnEntryInThe64BitViewOnlyIsNotThe32BitInstallersEntry) {
  if (!test::OnWindows64()) GTEST_SKIP() << "32-bit Windows has one registry view";
  LogCapture log;
  Put(kUninstallKey, KEY_WOW64_64KEY, L"C:\\Program Files\\Other\\Uninstall.exe");
  EXPECT_EQ(GetUninstallString(), L"");
  EXPECT_TRUE(log.Contains("$error:RegOpenKeyEx() failed, error code:2"));
}

TEST_F(UninstallStringTest, MissingKeyOrValueGivesEmptyAndLogsTheFailedCall) {
  {
    LogCapture log;
    EXPECT_EQ(GetEarlierUninstallString(), L"");
    EXPECT_TRUE(log.Contains("@SetupInfo.cpp("));
    EXPECT_TRUE(log.Contains("$error:RegOpenKeyEx() failed, error code:2\r\n"));
  }
  {
    LogCapture log;
    Put(kEarlierUninstallKey, KEY_WOW64_32KEY, nullptr, 0);
    EXPECT_EQ(GetEarlierUninstallString(), L"");
    EXPECT_TRUE(log.Contains("$error:RegQueryValueEx() failed, error code:2\r\n"));
  }
}

TEST_F(UninstallStringTest, AValueFillingTheWholeBufferWithoutTerminatorStillEndsThere) {
  // 260 characters stored without their NUL: the text must end with them,
  // not run on into whatever memory follows.
  // (The character after the data must not be NUL either, or the registry
  // counts it in, as Windows does for callers that forgot the terminator.)
  const std::wstring full(MAX_PATH, L'x');
  const std::wstring more = full + L'y';
  Put(kUninstallKey, KEY_WOW64_32KEY, more.c_str(), MAX_PATH * sizeof(wchar_t));
  LogCapture log;
  EXPECT_EQ(GetUninstallString(), full) << log.Text();
}

// ---- Disk space ----

TEST(DiskFreeTest, TextSwitchesToGigabytesAboveOneGiB) {
  const struct {
    uint64_t bytes;
    const wchar_t* text;
  } cases[] = {
      {0, L"0MB"},
      {1048575, L"1MB"},
      {1048576 * 55ull, L"55MB"},
      {1073741824ull, L"1024MB"},  // exactly 1 GiB is not above it
      {1073741825ull, L"1.00GB"},
      {1610612736ull, L"1.50GB"},
      {1099511627776ull * 3, L"3072.00GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDiskFreeText(c.bytes), c.text) << c.bytes;
}

TEST(DiskFreeTest, MeasuresTheDriveOfThePathAndReportsFailure) {
  TempDir dir;
  const std::wstring path = (dir / "sub\\folder").wstring();
  uint64_t bytes = 0;
  ULARGE_INTEGER available{}, total{}, totalFree{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(path.substr(0, 3).c_str(), &available, &total, &totalFree));
  const std::wstring text = GetDiskFreeText(path, &bytes);
  EXPECT_FALSE(text.empty());
  EXPECT_GT(bytes, 0u);
  // The volume's free space moves with whatever else the machine writes
  // between the two queries; the two figures must still be the same kind.
  const double drift = static_cast<double>(bytes) - static_cast<double>(totalFree.QuadPart);
  EXPECT_LT(drift < 0 ? -drift : drift, 512.0 * 1024 * 1024);

  // A drive letter nobody mapped.
  const DWORD drives = GetLogicalDrives();
  wchar_t letter = 0;
  for (wchar_t c = L'Q'; c <= L'Y' && letter == 0; ++c) {
    if ((drives & (1u << (c - L'A'))) == 0) letter = c;
  }
  ASSERT_NE(letter, 0);
  LogCapture log;
  uint64_t untouched = 12345;
  EXPECT_EQ(GetDiskFreeText(std::wstring(1, letter) + L":\\Programs\\Quorrin", &untouched), L"");
  EXPECT_EQ(untouched, 12345u);
  EXPECT_TRUE(log.Contains("$error:GetDiskFreeSpaceEx() failed, error code:"));
}

// ---- Resources ----

TEST(ResourceTest, WritesTheResourceToAFileAndLogsEachFailingStep) {
  TempDir dir;
  const std::wstring path = (dir / "license.htm").wstring();
  test::WriteBytes(path, std::vector<uint8_t>(10, 'x'));  // replaced, not appended to
  ASSERT_TRUE(CreateFileFromResource(path, 148, MAKEINTRESOURCEW(23)));
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text, "<html><body>Quorrin licence (test resource)</body></html>\n");

  LogCapture log;
  EXPECT_FALSE(CreateFileFromResource((dir / "other.htm").wstring(), 149, MAKEINTRESOURCEW(23)));
  EXPECT_TRUE(log.Contains("$error:FindResource failed, error code:"));
  EXPECT_FALSE(std::filesystem::exists(dir / "other.htm"));
  EXPECT_FALSE(CreateFileFromResource((dir / "missing\\license.htm").wstring(), 148, MAKEINTRESOURCEW(23)));
  EXPECT_TRUE(log.Contains("$error:CreateFile failed, error code:3"));
}

// ---- Conversions ----

TEST(ConversionTest, RoundTripsChineseTextThroughCodePage936) {
  ASSERT_EQ(GetACP(), 936u) << "the tests run with LANG=zh_CN.UTF-8";
  const char gbk[] = "\xcb\xb5\xc3\xf7.txt";  // 说明.txt
  EXPECT_EQ(MultiByteToCString(gbk), L"说明.txt");
  EXPECT_STREQ(CStringToMultiByte(L"说明.txt").get(), gbk);
  EXPECT_STREQ(CStringToMultiByte(L"").get(), "");
  EXPECT_EQ(MultiByteToCString(""), L"");
  EXPECT_EQ(MultiByteToCString(nullptr), L"");
  // A character without a form in 936 becomes the replacement character.
  EXPECT_STREQ(CStringToMultiByte(L"a\u0e01b").get(), "a?b");
}

}  // namespace
}  // namespace qrn
