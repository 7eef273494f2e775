// How long a report can hold the install thread: a server that accepts the
// connection and never answers, one that stops after the headers, and a dead
// port. Each must cost at most 10 s, end in an empty answer and log the
// internet error. Prints the figures.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "report/Http2Server.h"
#include "tests/report/ReportTestSupport.h"

namespace qrn {
namespace {

using test::CapturedLog;
using test::Describe;
using test::Matching;
using test::ReportServer;

const ReportParams kParams{{"description", ""},
                           {"deviceID", "{9A1B2C3D-4E5F-6a7b-8C9D-0E1F2A3B4C5D}"},
                           {"download_pos", "1"},
                           {"local_time", "1582161234"},
                           {"platform", "windows"},
                           {"uid", ""},
                           {"uninstall_reason", ""},
                           {"use_module", "13"},
                           {"version", "6.1.0.3_20200220"}};

const char kSecret[] = "5c0e7a21b9d84f36a1e3c7092b6d4f58";
constexpr DWORD kLimitMs = 10000;
constexpr DWORD kWatchdogMs = 30000;

class ReportWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ReportServer::Port(), 0) << "run through tests/report/with-report-server";
    ASSERT_TRUE(ReportServer::SetMode("ok"));
  }
  void TearDown() override {
    SetReportServerForTesting(nullptr, 0);
    ReportServer::SetMode("ok");
  }

  void ExpectBoundedFailure(const char* what, unsigned short port) {
    SetReportServerForTesting(L"127.0.0.1", port);
    CapturedLog log;
    const DWORD start = GetTickCount();
    // The exchange runs on a thread of its own, so that a wait without
    // bound fails this test in 30 s instead of hanging it.
    std::promise<std::string> result;
    std::future<std::string> answerSoon = result.get_future();
    std::thread exchange([&result] { result.set_value(SendServerRequest("InstallInfo", kParams, kSecret)); });
    if (answerSoon.wait_for(std::chrono::milliseconds(kWatchdogMs)) == std::future_status::timeout) {
      std::printf("%s: no return after %lu ms\n", what, static_cast<unsigned long>(kWatchdogMs));
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 1);
    }
    const std::string answer = answerSoon.get();
    exchange.join();
    const DWORD elapsed = GetTickCount() - start;
    std::printf("[ figures  ] %s: gave up after %lu ms\n", what, static_cast<unsigned long>(elapsed));
    EXPECT_EQ(answer, "") << what;
    EXPECT_LE(elapsed, kLimitMs) << what;
    const auto lines = log.Lines();
    const auto found = Matching(lines, "error", R"(CInternetException\(\) failed, error msg:.+)");
    ASSERT_EQ(found.size(), 1u) << what << "\n" << Describe(lines);
    std::printf("[ figures  ] logged: %s\n", found[0].message.c_str());
  }
};

TEST_F(ReportWaitTest, SilentServer) {
  ASSERT_TRUE(ReportServer::SetMode("silent"));
  ExpectBoundedFailure("server that accepts and never answers", ReportServer::Port());
}

TEST_F(ReportWaitTest, ServerStallingAfterTheHeaders) {
  ASSERT_TRUE(ReportServer::SetMode("stall"));
  ExpectBoundedFailure("server that stops after the headers", ReportServer::Port());
}

TEST_F(ReportWaitTest, DeadPort) { ExpectBoundedFailure("dead port", test::DeadPort()); }

}  // namespace
}  // namespace qrn
