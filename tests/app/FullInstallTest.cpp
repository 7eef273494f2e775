// The installer itself (this build's installer-stub.exe: the window with the
// engine's install thread), with a small payload appended, installed through
// its window by the UI driver: welcome, start, installing with a rising
// percentage and changing status texts, finished, finish starts QRN.exe.
// Everything the installation leaves in the prefix is taken away again.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: the shell headers need its macros.
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/Owners.h"
#include "payload/ArchiveWriter.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/WinFixtures.h"

namespace qrn::test {
namespace {

std::vector<uint8_t> Bytes(const std::wstring& path) {
  const std::string bytes = ReadFileBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The installer with `files` (entry name, contents) appended as its payload.
bool WriteSetup(const std::wstring& setup, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
  const std::vector<uint8_t> image = Bytes(HostPath(QRN_APP_DIR "/installer-stub.exe"));
  if (image.empty()) return false;
  archive::MemorySink sink;
  sink.Write(image.data(), image.size());
  archive::ArchiveWriter writer(sink, static_cast<uint32_t>(image.size()), archive::ArchiveOptions{});
  for (const auto& [name, data] : files) {
    if (!writer.AddFile(name, data.data(), data.size(), FILE_ATTRIBUTE_ARCHIVE, archive::MvsFileTimes{})) return false;
  }
  if (!writer.Finish()) return false;
  return WriteFileBytes(setup, std::string(sink.bytes().begin(), sink.bytes().end()));
}

class FullInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::MoveMouseAway();
    RemoveProductRegistryEntries();
    RemoveInstalledComponents();
  }
  void TearDown() override {
    RemoveInstalledComponents();
    RemoveProductRegistryEntries();
  }
  ScratchDir scratch_;
  ScopedDword noCrashDialog_{HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", L"ShowCrashDialog", 0};
};

TEST_F(FullInstallTest, ThroughTheWindowFromWelcomeToTheProduct) {
  const std::wstring setup = scratch_ / L"QuorrinSetup.exe";
  const std::vector<uint8_t> recorder = Bytes(StandinPath(L"qrn-recorder.exe"));
  ASSERT_FALSE(recorder.empty());
  const std::string help = "<html><body>help</body></html>";
  ASSERT_TRUE(WriteSetup(setup, {
                                    {"main\\Program\\QRN.exe", recorder},
                                    {"main\\Program\\readme.txt", {'h', 'i'}},
                                    {"main\\Program\\help\\QRN_help.html", {help.begin(), help.end()}},
                                }));
  const std::wstring record = scratch_ / L"record.txt";
  ScopedEnv recordTo(L"QRN_RECORD_FILE", record);

  SetupRun run(setup);
  ASSERT_TRUE(run.ok()) << run.error();
  ASSERT_TRUE(InWelcomeState(run, false));
  const std::wstring folder = scratch_ / L"dest\\Quorrin";
  run.SetPath(scratch_ / L"dest");
  ASSERT_EQ(ui::Click(run.window(), kStart), "");
  ASSERT_TRUE(InInstallingState(run));

  const InstallingPictures seen = WatchInstalling(run, 180000);
  ASSERT_TRUE(run.Running()) << "the installer ended while installing (the failure box?)";
  ASSERT_TRUE(run.WaitForHeight(320, 0)) << "never finished";
  ASSERT_TRUE(InFinishedState(run));
  // Screenshots are sampled: under load the last one may come a few percent
  // before the window switches to its finished state.
  EXPECT_EQ(seen.fallsOfTheBar, 0) << "the percentage went down";
  EXPECT_GE(seen.lastRight, 480) << "the bar never got near full";
  EXPECT_GE(seen.statusPictures, 2u) << "the status line hardly changed (" << seen.pictures << " pictures)";
  EXPECT_TRUE(FileExists(folder + L"\\readme.txt")) << "the payload was not extracted";

  ASSERT_EQ(ui::Click(run.window(), kFinish), "");
  EXPECT_TRUE(run.WaitForExit());
  std::string started;
  for (int i = 0; i < 100 && started.empty(); ++i) {
    started = ReadFileBytes(record);
    if (started.empty()) ::Sleep(100);
  }
  EXPECT_NE(started.find(ui::Narrow(folder + L"\\QRN.exe")), std::string::npos)
      << "QRN.exe was not started: " << started;
}

}  // namespace
}  // namespace qrn::test
