// The daily log under Wine: line format, appending, the day change with
// pruning, its diagnostics, long messages and two threads at once. The clock
// and the debug channel are the only seams; files are real.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The clock hands out the scripted times in order, then repeats the last.
std::vector<SYSTEMTIME> g_times;
size_t g_next = 0;
std::vector<std::string> g_debug;

SYSTEMTIME Time(int year, int month, int day, int hour = 10, int minute = 0, int second = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  t.wMilliseconds = static_cast<WORD>(ms);
  return t;
}

void ScriptedClock(SYSTEMTIME* now) {
  *now = g_times[std::min(g_next, g_times.size() - 1)];
  if (g_next < g_times.size()) ++g_next;
}

void CaptureDebug(const char* text) { g_debug.emplace_back(text); }

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_times = {Time(2020, 2, 20)};
    g_next = 0;
    g_debug.clear();
    CLogModule::SetClockForTesting(ScriptedClock);
    CLogModule::SetDebugOutputForTesting(CaptureDebug);
  }
  void TearDown() override {
    LogUninit();
    CLogModule::SetClockForTesting(nullptr);
    CLogModule::SetDebugOutputForTesting(nullptr);
  }

  void SetClock(std::vector<SYSTEMTIME> times) {
    g_times = std::move(times);
    g_next = 0;
  }
  std::string Folder() const { return dir_.path().string(); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Touch(const std::string& name, const std::string& text = "old\r\n") const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool DebugContains(const std::string& text) const {
    return std::any_of(g_debug.begin(), g_debug.end(),
                       [&](const std::string& d) { return d.find(text) != std::string::npos; });
  }

  TempDir dir_;
};

TEST_F(LogTest, WritesLinesInTheFixedFormat) {
  SetClock({Time(2020, 2, 20, 12, 34, 56, 789)});
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  EXPECT_TRUE(LogError("Ovastro", "C:\\work\\system\\SetupInfo.cpp", 42, "RegOpenKeyEx() failed, error code:%d", 5));
  EXPECT_TRUE(LogWarning("Ovastro", "OvastroDlg.cpp", 7, "%s", "选择路径无效"));
  const int debugLine = __LINE__ + 1;
  EXPECT_TRUE(LOG_DEBUG("running to %s()", "SetReg"));
  const char* noFormat = nullptr;
  EXPECT_FALSE(LogDebug("Ovastro", "x.cpp", 1, noFormat));
  LogUninit();

  const std::string macroLine =
      std::string("12:34:56.789 Ovastro@LogTest.cpp(") + std::to_string(debugLine) + ")$debug:running to SetReg()\r\n";
  EXPECT_EQ(Read("Install20200220.log"),
            "12:34:56.789 Ovastro@SetupInfo.cpp(42)$error:RegOpenKeyEx() failed, error code:5\r\n"
            "12:34:56.789 Ovastro@OvastroDlg.cpp(7)$warning:选择路径无效\r\n" +
                macroLine);
}

TEST_F(LogTest, LoggingKeepsTheLastErrorCode) {
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  SetLastError(ERROR_PATH_NOT_FOUND);
  LOG_ERROR("first line");
  LOG_ERROR("second line, error code:%d", static_cast<int>(GetLastError()));
  LogUninit();
  EXPECT_NE(Read("Install20200220.log").find("second line, error code:3\r\n"), std::string::npos);
}

TEST_F(LogTest, AppendsToTheFileOfTheDay) {
  Touch("Install20200220.log", "earlier run\r\n");
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  LOG_ERROR("second run");
  LogUninit();
  const std::string text = Read("Install20200220.log");
  EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("$error:second run\r\n"), std::string::npos) << text;
}

TEST_F(LogTest, DayChangeOpensTheNewFileAndKeepsThree) {
  Touch("Install20200218.log");
  Touch("Install20200219.log");
  // A line formatted at 23:59:59.999 and written after midnight carries the
  // old time but lands in the new day's file.
  SetClock({Time(2020, 2, 20, 23, 0), Time(2020, 2, 20, 23, 59, 59, 999), Time(2020, 2, 21, 0, 0, 0, 1)});
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  EXPECT_EQ(Files(), (std::vector<std::string>{"Install20200218.log", "Install20200219.log", "Install20200220.log"}));
  LOG_DEBUG("late");
  LogUninit();
  EXPECT_EQ(Files(), (std::vector<std::string>{"Install20200219.log", "Install20200220.log", "Install20200221.log"}));
  EXPECT_NE(Read("Install20200221.log").find("23:59:59.999 Ovastro@"), std::string::npos);
  EXPECT_EQ(Read("Install20200220.log"), "");
}

TEST_F(LogTest, SameDayOfAnotherMonthKeepsTheFile) {
  SetClock({Time(2020, 2, 20), Time(2020, 3, 20), Time(2020, 3, 20)});
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  LOG_DEBUG("a month later");
  LogUninit();
  EXPECT_EQ(Files(), std::vector<std::string>{"Install20200220.log"});
}

// Pruning counts only files matching the prefix, never directories or names
// beginning with '.', and sorts by name: later dates (clock set back) stay,
// and when the open file itself would go, its delete fails and pruning stops.
TEST_F(LogTest, PruningRules) {
  fs::create_directory(dir_ / "Install2019.log");
  Touch(".Install20000101.log");
  Touch("Other20000101.log");
  Touch("Install20300101.log");
  Touch("Install20300102.log");
  Touch("Install20300103.log");
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  LogUninit();
  EXPECT_EQ(Files(), (std::vector<std::string>{".Install20000101.log", "Install2019.log", "Install20200220.log",
                                               "Install20300101.log", "Install20300102.log", "Install20300103.log",
                                               "Other20000101.log"}));
  EXPECT_TRUE(DebugContains("CheckLatestFileCount:remove(")) << "the open file cannot be deleted";
}

TEST_F(LogTest, EmptyPrefixCountsEveryLogFile) {
  Touch("a.log");
  Touch("b.log");
  Touch("c.log");
  ASSERT_TRUE(LogInit("", Folder().c_str()));
  LogUninit();
  // "20200220.log" sorts below the letters, so it is the one pruning tries
  // to delete; the open file survives and pruning stops there.
  EXPECT_EQ(Files(), (std::vector<std::string>{"20200220.log", "a.log", "b.log", "c.log"}));
  EXPECT_TRUE(DebugContains("CheckLatestFileCount:remove("));
}

TEST_F(LogTest, FailuresGoToTheDebugChannelOnly) {
  EXPECT_FALSE(LOG_ERROR("before init"));
  EXPECT_TRUE(DebugContains("AddLog:log module is not init, current log:"));
  EXPECT_TRUE(DebugContains("$error:before init"));
  const std::string missing = (dir_ / "no" / "such").string();
  EXPECT_FALSE(LogInit("Install", missing.c_str()));
  EXPECT_TRUE(DebugContains("InitLog:mkpath(" + missing + ") failed!\n"));
  EXPECT_FALSE(LOG_ERROR("after a failed init"));
}

TEST_F(LogTest, LongMessageIsCutButTheLineStaysWhole) {
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  const std::string huge(200000, 'x');
  LOG_ERROR("%s", huge.c_str());
  LOG_ERROR("next");
  LogUninit();
  const std::string text = Read("Install20200220.log");
  const size_t firstEnd = text.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_EQ(firstEnd + 2, 102399u);
  EXPECT_EQ(text.substr(firstEnd + 2, 13), "10:00:00.000 ");
}

TEST_F(LogTest, TwoThreadsNeverTearALine) {
  ASSERT_TRUE(LogInit("Install", Folder().c_str()));
  auto writer = [](char tag) {
    const std::string body(300, tag);
    for (int i = 0; i < 500; ++i) LOG_DEBUG("%c%d:%s", tag, i, body.c_str());
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  LogUninit();
  const std::string text = Read("Install20200220.log");
  size_t lines = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    const size_t colon = line.find("$debug:");
    ASSERT_NE(colon, std::string::npos) << line.substr(0, 80);
    const char tag = line[colon + 7];
    EXPECT_EQ(line.substr(line.size() - 300), std::string(300, tag));
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, 1000u);
}

}  // namespace
}  // namespace qrn
