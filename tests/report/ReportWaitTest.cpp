// How long a report can hold the install thread: a server that accepts the
// connection and never answers, one that stops after the headers, and a dead
// port, each of which must cost at most 10 s, end in an empty answer and log
// the internet error; and a name the resolver never answers for, where the
// caller must give up within 10 s on its own. Prints the figures.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

struct Timed {
  std::string answer;
  DWORD elapsedMs;
};

// SendServerRequest on a thread of its own, so that a wait without bound
// fails the test in 30 s instead of hanging it.
Timed TimedRequest(const char* what) {
  const DWORD start = GetTickCount();
  std::promise<std::string> result;
  std::future<std::string> answerSoon = result.get_future();
  std::thread exchange([&result] { result.set_value(SendServerRequest("InstallInfo", kParams, kSecret)); });
  if (answerSoon.wait_for(std::chrono::milliseconds(kWatchdogMs)) == std::future_status::timeout) {
    std::printf("%s: no return after %lu ms\n", what, static_cast<unsigned long>(kWatchdogMs));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  Timed timed{answerSoon.get(), 0};
  exchange.join();
  timed.elapsedMs = GetTickCount() - start;
  std::printf("[ figures  ] %s: gave up after %lu ms\n", what, static_cast<unsigned long>(timed.elapsedMs));
  return timed;
}

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
    const Timed timed = TimedRequest(what);
    EXPECT_EQ(timed.answer, "") << what;
    EXPECT_LE(timed.elapsedMs, kLimitMs) << what;
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

// A host name whose resolution does not end: tests/report/with-stalled-resolver
// points the system's resolver at a DNS server that never answers, so
// WinINet's name resolution inside HttpSendRequest holds the exchange for the
// resolver's own time-out (QRN_STALLED_RESOLVER_SECONDS, past the bound),
// which none of WinINet's time-outs shortens. The caller must give up within
// the bound with its line; the worker it leaves behind must end once the
// resolver lets go, having logged and sent nothing.
TEST(StalledResolverTest, TheCallerGivesUpWithinTheBoundAndTheWorkerEndsQuietly) {
  const char* stall = std::getenv("QRN_STALLED_RESOLVER_SECONDS");
  if (stall == nullptr) GTEST_SKIP() << "run through tests/report/with-stalled-resolver";
  const DWORD stallMs = static_cast<DWORD>(std::atoi(stall)) * 1000;
  ASSERT_GT(stallMs, kLimitMs);
  ASSERT_EQ(ExchangesAliveForTesting(), 0);
  SetReportServerForTesting(L"report.stalled-resolver.test", 80);
  CapturedLog log;
  const Timed timed = TimedRequest("host name the resolver never answers for");
  SetReportServerForTesting(nullptr, 0);
  EXPECT_EQ(timed.answer, "");
  EXPECT_LE(timed.elapsedMs, kLimitMs);
  EXPECT_EQ(ExchangesAliveForTesting(), 1) << "the worker is still held by the resolver";

  const DWORD start = GetTickCount();
  while (ExchangesAliveForTesting() != 0 && GetTickCount() - start < 4 * stallMs) Sleep(100);
  const DWORD workerMs = timed.elapsedMs + (GetTickCount() - start);
  std::printf("[ figures  ] the worker ended after %lu ms\n", static_cast<unsigned long>(workerMs));
  EXPECT_EQ(ExchangesAliveForTesting(), 0) << "the worker never ended";
  EXPECT_GE(workerMs, stallMs - 1000) << "the resolver did not stall: the test proves nothing";
  const auto lines = log.Lines();
  const auto errors = Matching(lines, "error", ".*");
  ASSERT_EQ(errors.size(), 1u) << Describe(lines);
  EXPECT_EQ(Matching(errors, "error",
                     R"(SendRequest\(\) failed, no answer from report\.stalled-resolver\.test within 9500 ms, )"
                     R"(the exchange is abandoned)")
                .size(),
            1u)
      << Describe(lines);
}

}  // namespace
}  // namespace qrn
