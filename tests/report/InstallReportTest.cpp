// The install report's contents and the device identity under Wine: the
// identity file install.db in the prefix's common application-data folder
// (the fixture creates TolvekApplication and puts back what was there), the
// GUID format, the cache, and two real reports to the test report server.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "report/DeviceIdentity.h"
#include "report/Http2Server.h"
#include "report/InstallReport.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

namespace fs = std::filesystem;
using test::CapturedLog;
using test::Describe;
using test::Matching;
using test::ReportServer;

const char kReadWarning[] = R"(GetPrivateProfileStringA\(\) failed, error code:\d+ return length:0)";
const std::regex kGuidForm(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");

class InstallReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = GetInstallDbFolder();
    ASSERT_FALSE(folder_.empty());
    db_ = folder_ + "\\install.db";
    folderExisted_ = fs::exists(folder_);
    if (fs::exists(db_)) saved_ = test::ReadBytes(db_);
    hadDb_ = fs::exists(db_);
    fs::create_directories(folder_);
    fs::remove(db_);
    ResetDeviceIdCacheForTesting();
  }
  void TearDown() override {
    ResetDeviceIdCacheForTesting();
    SetReportServerForTesting(nullptr, 0);
    std::error_code ec;
    fs::remove(db_, ec);
    if (hadDb_) {
      fs::create_directories(folder_, ec);
      test::WriteBytes(db_, saved_);
    }
    if (!folderExisted_) fs::remove_all(folder_, ec);
  }

  void Write(const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA("user_info", key, value, db_.c_str()));
  }
  std::string Read(const char* key) {
    char value[200] = {};
    GetPrivateProfileStringA("user_info", key, "", value, sizeof value, db_.c_str());
    return value;
  }
  void UseReportServer() {
    ASSERT_NE(ReportServer::Port(), 0) << "run through tests/report/with-report-server";
    ASSERT_TRUE(ReportServer::Reset());
    ASSERT_TRUE(ReportServer::SetMode("ok"));
    SetReportServerForTesting(L"127.0.0.1", ReportServer::Port());
  }

  std::string folder_;
  std::string db_;
  bool folderExisted_ = false;
  bool hadDb_ = false;
  std::vector<uint8_t> saved_;
};

TEST(DeviceGuidTest, Data3IsLowerCaseEverythingElseUpperCase) {
  struct Case {
    const char* name;
    GUID guid;
    const char* text;
  };
  const Case cases[] = {
      {"letters everywhere",
       {0x0A1B2C3D, 0xABCD, 0xEF01, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17}},
       "{0A1B2C3D-ABCD-ef01-A0B1-C2D3E4F50617}"},
      {"all ones",
       {0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
       "{FFFFFFFF-FFFF-ffff-FFFF-FFFFFFFFFFFF}"},
      {"leading zeros", {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}}, "{00000001-0002-0003-0001-020304050607}"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDeviceGuid(c.guid), c.text) << c.name;
}

TEST_F(InstallReportTest, InstallDbFolderIsTolvekUnderCommonAppData) {
  char common[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
  EXPECT_EQ(folder_, std::string(common) + "\\TolvekApplication");
}

// A machine without install.db: a new GUID is made, written under
// "user_info" and kept; the file is not read again in the same run.
TEST_F(InstallReportTest, FreshDeviceIdIsMadeWrittenAndCached) {
  CapturedLog log;
  const std::string id = GetDeviceID();
  EXPECT_TRUE(std::regex_match(id, kGuidForm)) << id;
  EXPECT_EQ(Read("deviceID"), id);
  Write("deviceID", "changed-behind-its-back");
  EXPECT_EQ(GetDeviceID(), id) << "cached for the run";
  const auto lines = log.Lines();
  EXPECT_EQ(Matching(lines, "warning", kReadWarning).size(), 1u) << Describe(lines);
  EXPECT_TRUE(Matching(lines, "error", ".*").empty()) << Describe(lines);
}

TEST_F(InstallReportTest, DeviceIdInTheFileIsTakenAsItIsUpTo49Characters) {
  const std::string longId(60, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {"not a GUID, any form", "not a GUID, any form"},
      {"{lower-case-guid}", "{lower-case-guid}"},
      {longId, longId.substr(0, 49)},
  };
  for (const auto& [stored, sent] : cases) {
    ResetDeviceIdCacheForTesting();
    Write("deviceID", stored.c_str());
    CapturedLog log;
    EXPECT_EQ(GetDeviceID(), sent);
    EXPECT_EQ(Read("deviceID"), stored) << "left as it is";
    const auto lines = log.Lines();
    EXPECT_TRUE(Matching(lines, "warning", ".*").empty()) << Describe(lines);
  }
}

// Tolvek never installed: the identifier cannot be written, serves this run
// only, and the folder is not created.
TEST_F(InstallReportTest, MissingTolvekFolderKeepsTheIdForTheRunOnly) {
  fs::remove_all(folder_);
  CapturedLog log;
  const std::string id = GetDeviceID();
  EXPECT_TRUE(std::regex_match(id, kGuidForm)) << id;
  EXPECT_EQ(GetDeviceID(), id);
  EXPECT_FALSE(fs::exists(folder_));
  const auto lines = log.Lines();
  EXPECT_EQ(Matching(lines, "error", R"(WritePrivateProfileStringA\(\) failed, error code:[1-9]\d*)").size(), 1u)
      << Describe(lines);
}

TEST_F(InstallReportTest, UidIsReadOnEveryCallAndMayBeEmpty) {
  CapturedLog log;
  EXPECT_EQ(GetUid(), "");
  Write("uid", "user-7");
  EXPECT_EQ(GetUid(), "user-7");
  Write("uid", "user-8");
  EXPECT_EQ(GetUid(), "user-8") << "not cached";
  const auto lines = log.Lines();
  EXPECT_EQ(Matching(lines, "warning", kReadWarning).size(), 1u) << Describe(lines);
}

TEST_F(InstallReportTest, ReportCarriesTheNineParametersInKeyOrder) {
  Write("uid", "user-7");
  const long long before = static_cast<long long>(time(nullptr));
  const ReportParams params = MakeInstallReportParams();
  const long long after = static_cast<long long>(time(nullptr));
  std::vector<std::string> keys;
  for (const auto& entry : params) keys.push_back(entry.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"description", "deviceID", "download_pos", "local_time", "platform", "uid",
                                            "uninstall_reason", "use_module", "version"}));
  EXPECT_EQ(params.at("description"), "");
  EXPECT_EQ(params.at("deviceID"), GetDeviceID());
  EXPECT_EQ(params.at("download_pos"), "1");
  const long long localTime = std::stoll(params.at("local_time"));
  EXPECT_GE(localTime, before);
  EXPECT_LE(localTime, after);
  EXPECT_EQ(params.at("platform"), "windows");
  EXPECT_EQ(params.at("uid"), "user-7");
  EXPECT_EQ(params.at("uninstall_reason"), "");
  EXPECT_EQ(params.at("use_module"), "13");
  EXPECT_EQ(params.at("version"), "6.1.0.3_20200220");
}

// Two reports in one run to the test report server: both verified and
// stored with the identifier written to install.db; the missing uid goes as
// an empty value, its warning once per report.
TEST_F(InstallReportTest, TwoReportsCarryTheDeviceIdWrittenToInstallDb) {
  UseReportServer();
  CapturedLog log;
  EXPECT_TRUE(SendInstallInfo());
  EXPECT_TRUE(SendInstallInfo());
  const auto lines = log.Lines();

  const auto reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 2u) << "rejected: " << ReportServer::Rejects().size();
  const std::string written = Read("deviceID");
  EXPECT_TRUE(std::regex_match(written, kGuidForm)) << written;
  for (const auto& report : reports) {
    EXPECT_EQ(report.at("deviceID"), written);
    EXPECT_EQ(report.at("uid"), "");
    EXPECT_EQ(report.at("request_line").rfind("GET /InstallInfo/", 0), 0u) << report.at("request_line");
  }
  // deviceID once (then cached), uid once per report.
  EXPECT_EQ(Matching(lines, "warning", kReadWarning).size(), 3u) << Describe(lines);
  EXPECT_TRUE(Matching(lines, "error", ".*").empty()) << Describe(lines);
}

TEST_F(InstallReportTest, NoAnswerMeansTheReportFailed) {
  UseReportServer();
  for (const char* mode : {"empty", "garbage", "404"}) {
    ASSERT_TRUE(ReportServer::SetMode(mode));
    EXPECT_FALSE(SendInstallInfo()) << mode;
  }
  ASSERT_TRUE(ReportServer::SetMode("ok"));
  Write("uid", "user-7");
  EXPECT_TRUE(SendInstallInfo());
  const auto reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].at("uid"), "user-7");
}

}  // namespace
}  // namespace qrn
