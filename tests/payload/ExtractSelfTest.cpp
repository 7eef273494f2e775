// By default the extraction pass reads the payload from the program's own
// file: this test appends an archive to a copy of itself and runs the copy,
// which extracts itself with ExtractArchiveSetup and ExtractUninstaller.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "engine/InstallSettings.h"
#include "payload/ArchiveWriter.h"
#include "payload/ExtractArchive.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

using namespace archive;

const char kReadme[] = "installed from my own file";
const char kUninstaller[] = "MZ the uninstaller";

// The child's side: extracts its own payload into argv's folder and writes
// the uninstaller over argv's file. Exit code 0 when both succeed.
int ExtractSelf(const wchar_t* folder, const wchar_t* uninstaller) {
  InstallSettings settings;
  settings.installFolder = folder;
  settings.previousUninstallString = uninstaller;
  if (!ExtractUninstaller(settings)) return 10;
  return ExtractArchiveSetup(settings) ? 0 : 11;
}

TEST(ExtractSelfTest, InstallerExtractsThePayloadAppendedToItsOwnFile) {
  wchar_t self[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::vector<uint8_t> image = test::ReadBytes(self);
  MemorySink sink;
  sink.Write(image.data(), image.size());
  ArchiveWriter writer(sink, static_cast<uint32_t>(image.size()), ArchiveOptions{});
  ASSERT_TRUE(writer.AddFile("main\\Program\\readme.txt", reinterpret_cast<const uint8_t*>(kReadme),
                             std::strlen(kReadme), FILE_ATTRIBUTE_ARCHIVE, MvsFileTimes{}));
  ASSERT_TRUE(writer.AddFile("main\\Program\\Uninstall.exe", reinterpret_cast<const uint8_t*>(kUninstaller),
                             std::strlen(kUninstaller), FILE_ATTRIBUTE_ARCHIVE, MvsFileTimes{}));
  ASSERT_TRUE(writer.Finish()) << writer.error();
  test::TempDir dir;
  const std::wstring setup = (dir / "setup-copy.exe").wstring();
  test::WriteBytes(setup, sink.bytes());
  const std::wstring folder = (dir / "Quorrin").wstring();
  const std::wstring oldUninstaller = (dir / "old-uninstall.exe").wstring();

  std::wstring command = L"\"" + setup + L"\" --extract-self \"" + folder + L"\" \"" + oldUninstaller + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  UniqueProcessInformation process;
  ASSERT_TRUE(
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put()))
      << GetLastError();
  ASSERT_EQ(WaitForSingleObject(process.get().hProcess, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 99;
  GetExitCodeProcess(process.get().hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u) << "10: uninstaller, 11: extraction pass failed";
  const std::vector<uint8_t> readme = test::ReadBytes(dir / "Quorrin" / "readme.txt");
  EXPECT_EQ(std::string(readme.begin(), readme.end()), kReadme);
  const std::vector<uint8_t> uninstaller = test::ReadBytes(oldUninstaller);
  EXPECT_EQ(std::string(uninstaller.begin(), uninstaller.end()), kUninstaller);
}

}  // namespace
}  // namespace qrn

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--extract-self") == 0) return qrn::ExtractSelf(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
