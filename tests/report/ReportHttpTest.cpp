// The report exchange over WinINet under Wine, against the test report
// server on loopback (tests/report/with-report-server starts it): the real
// exchange as the server sees it, and every failure with its log line and an
// empty answer.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "report/AnsiUtf8.h"
#include "report/Http2Server.h"
#include "report/RequestCodec.h"
#include "tests/report/FixedParams.h"
#include "tests/report/ReportTestSupport.h"

namespace qrn {
namespace {

using test::CapturedLog;
using test::Describe;
using test::FixedParams;
using test::LogLine;
using test::Matching;
using test::ReportServer;

const char kSecret[] = "5c0e7a21b9d84f36a1e3c7092b6d4f58";

std::vector<LogLine> Errors(const std::vector<LogLine>& lines) { return Matching(lines, "error", ".*"); }

class ReportHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ReportServer::Port(), 0) << "run through tests/report/with-report-server";
    ASSERT_TRUE(ReportServer::Reset());
    ASSERT_TRUE(ReportServer::SetMode("ok"));
    SetReportServerForTesting(L"127.0.0.1", ReportServer::Port());
  }
  void TearDown() override {
    SetReportServerForTesting(nullptr, 0);
    FailHttpCallForTesting(HttpCall::kInternetOpen, 0);
    ReportServer::SetMode("ok");
  }
};

// The request line the server received is exactly "GET /" + the encoded path
// + " HTTP/1.0"; it deciphered, verified and stored all nine parameters, and
// its enciphered answer decodes to the text it sent.
TEST_F(ReportHttpTest, RealExchangeIsVerifiedStoredAndAnswered) {
  CapturedLog log;
  const std::string answer = SendServerRequest("InstallInfo", FixedParams(), kSecret);
  const auto lines = log.Lines();

  const auto reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 1u) << "rejects: " << ReportServer::Rejects().size();
  const test::Row& row = reports[0];
  EXPECT_EQ(answer, "{\"code\":0,\"msg\":\"ok\",\"id\":" + row.at("id") + "}");
  for (const auto& [key, value] : FixedParams()) EXPECT_EQ(row.at(key), value) << key;
  std::string path;
  ASSERT_EQ(EncodeRequestPath("InstallInfo", FixedParams(), kSecret, AnsiUtf8Conversions(), &path),
            RequestEncoding::kOk);
  EXPECT_EQ(row.at("request_line"), "GET /" + path + " HTTP/1.0");
  EXPECT_EQ(row.at("user_agent"), "report_http_test") << "the executable's name without extension";
  EXPECT_TRUE(Errors(lines).empty()) << Describe(lines);
}

// A body with more after the Base64 text: only the leading text counts.
TEST_F(ReportHttpTest, BodyFollowedByLineBreakAndMoreDecodesTheLeadingText) {
  ASSERT_TRUE(ReportServer::SetMode("trailing"));
  const std::string answer = SendServerRequest("InstallInfo", FixedParams(), kSecret);
  const auto reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(answer, "{\"code\":0,\"msg\":\"ok\",\"id\":" + reports[0].at("id") + "}");
}

// The answer arrives at once and a long rest of the body follows it: the
// answer counts, and the call does not wait for the rest, which Wine's
// WinINet reads to its end when the request is closed (past the call's
// bound on a slow machine).
TEST_F(ReportHttpTest, AnswerFollowedByALongBodyIsTakenWithoutWaitingForTheRest) {
  ASSERT_TRUE(ReportServer::SetMode("longtail"));
  CapturedLog log;
  const std::string answer = SendServerRequest("InstallInfo", FixedParams(), kSecret);
  const auto reports = ReportServer::Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(answer, "{\"code\":0,\"msg\":\"ok\",\"id\":" + reports[0].at("id") + "}");
  const auto lines = log.Lines();
  EXPECT_TRUE(Errors(lines).empty()) << Describe(lines);
}

// Answers the server gives on demand: each yields an empty answer, and only
// a status other than 200 is logged (with the status as second number). The
// 10 MB body must neither crash nor be read whole.
TEST_F(ReportHttpTest, ServerFailuresGiveAnEmptyAnswerAndTheirLogLine) {
  struct Case {
    const char* mode;
    const char* errorLine;  // whole message, ECMAScript; null: no error line at all
  };
  const Case cases[] = {
      {"404", R"(QueryInfoStatusCode\(\) failed, error code:\d+ return code:404)"},
      {"500", R"(QueryInfoStatusCode\(\) failed, error code:\d+ return code:500)"},
      {"empty", nullptr},
      {"garbage", nullptr},
      {"huge", nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ReportServer::SetMode(c.mode)) << c.mode;
    CapturedLog log;
    const DWORD start = GetTickCount();
    EXPECT_EQ(SendServerRequest("InstallInfo", FixedParams(), kSecret), "") << c.mode;
    const DWORD elapsed = GetTickCount() - start;
    const auto lines = log.Lines();
    const auto errors = Errors(lines);
    if (c.errorLine == nullptr) {
      EXPECT_TRUE(errors.empty()) << c.mode << "\n" << Describe(lines);
    } else {
      ASSERT_EQ(errors.size(), 1u) << c.mode << "\n" << Describe(lines);
      EXPECT_EQ(errors[0].file, "Http2Server.cpp");
      EXPECT_EQ(Matching(errors, "error", c.errorLine).size(), 1u) << c.mode << "\n" << Describe(lines);
    }
    std::printf("[ figures  ] mode %s: empty answer after %lu ms\n", c.mode, static_cast<unsigned long>(elapsed));
  }
}

// No connection object: Wine's InternetConnect refuses an empty host name
// with ERROR_INVALID_PARAMETER, which is no WinINet error of its own.
TEST_F(ReportHttpTest, NoConnectionObjectIsLogged) {
  SetReportServerForTesting(L"", ReportServer::Port());
  CapturedLog log;
  EXPECT_EQ(SendServerRequest("InstallInfo", FixedParams(), kSecret), "");
  const auto lines = log.Lines();
  ASSERT_EQ(Errors(lines).size(), 1u) << Describe(lines);
  EXPECT_EQ(Matching(lines, "error", R"(GetHttpConnection\(\) failed, error code:87)").size(), 1u) << Describe(lines);
}

// Failures Wine cannot stage, made by the seam: WinINet's own error codes
// are logged as the internet error with its text, other codes by the step's
// line; a failed send leaves the status at 0. Steps after the failure are
// skipped: up to the send, nothing reaches the server.
TEST_F(ReportHttpTest, EachFailingCallIsLoggedAndEndsTheExchange) {
  struct Case {
    const char* name;
    HttpCall call;
    DWORD error;
    std::vector<const char*> errorLines;  // in order, whole messages
    size_t reportsStored;
  };
  const char* kException = R"(CInternetException\(\) failed, error msg:.+)";
  const Case cases[] = {
      {"open session", HttpCall::kInternetOpen, ERROR_INTERNET_INTERNAL_ERROR, {kException}, 0},
      {"connect, plain error",
       HttpCall::kInternetConnect,
       ERROR_NOT_ENOUGH_MEMORY,
       {R"(GetHttpConnection\(\) failed, error code:8)"},
       0},
      {"connect, internet error", HttpCall::kInternetConnect, ERROR_INTERNET_INVALID_URL, {kException}, 0},
      {"open request",
       HttpCall::kHttpOpenRequest,
       ERROR_NOT_ENOUGH_MEMORY,
       {R"(OpenRequest\(\) failed, error code:8)"},
       0},
      {"open request, internet error", HttpCall::kHttpOpenRequest, ERROR_INTERNET_INTERNAL_ERROR, {kException}, 0},
      {"send",
       HttpCall::kHttpSendRequest,
       ERROR_NOT_ENOUGH_MEMORY,
       {R"(SendRequest\(\) failed, error code:8)", R"(QueryInfoStatusCode\(\) failed, error code:8 return code:0)"},
       0},
      {"status query",
       HttpCall::kHttpQueryInfo,
       ERROR_INSUFFICIENT_BUFFER,
       {R"(QueryInfoStatusCode\(\) failed, error code:122 return code:0)"},
       1},
      {"body read", HttpCall::kInternetReadFile, ERROR_INTERNET_CONNECTION_RESET, {kException}, 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ReportServer::Reset());
    FailHttpCallForTesting(c.call, c.error);
    CapturedLog log;
    EXPECT_EQ(SendServerRequest("InstallInfo", FixedParams(), kSecret), "") << c.name;
    FailHttpCallForTesting(c.call, 0);
    const auto lines = log.Lines();
    const auto errors = Errors(lines);
    ASSERT_EQ(errors.size(), c.errorLines.size()) << c.name << "\n" << Describe(lines);
    for (size_t i = 0; i < errors.size(); ++i) {
      EXPECT_EQ(errors[i].file, "Http2Server.cpp") << c.name;
      EXPECT_EQ(Matching({errors[i]}, "error", c.errorLines[i]).size(), 1u) << c.name << "\n" << Describe(lines);
    }
    EXPECT_EQ(ReportServer::Reports().size(), c.reportsStored) << c.name;
  }
}

// The cipher buffer holds 2,032 bytes of request: a longer one is refused
// before anything is sent.
TEST_F(ReportHttpTest, RequestTooLongForTheCipherBufferIsNotSent) {
  ReportParams params = FixedParams();
  params["description"] = std::string(2000, 'd');
  CapturedLog log;
  EXPECT_EQ(SendServerRequest("InstallInfo", params, kSecret), "");
  const auto lines = log.Lines();
  EXPECT_EQ(Matching(lines, "error", R"(EncodeRequest\(\) failed, request over 2032 bytes)").size(), 1u)
      << Describe(lines);
  EXPECT_TRUE(ReportServer::Reports().empty());
  EXPECT_TRUE(ReportServer::Rejects().empty());
}

}  // namespace
}  // namespace qrn
