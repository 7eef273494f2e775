// One exchange with the report server over HTTP (WinINet). Windows.
#pragma once

#include <string>

#include "report/ReportParams.h"

namespace qrn {

// Encodes the request (RequestCodec.h), sends "GET /<action>/<Base64>" as
// HTTP/1.0 to the report server, accepts status 200 only and decodes the
// body. Returns the ANSI answer text, empty after any failure; every failure
// is logged here, on the calling thread. The exchange runs on a worker
// thread of its own, which the caller waits for at most 9.5 s, whatever
// holds it (name resolution has no time-out of its own; connect, send and
// receive have: a silent server costs about 4 s). A worker still busy then
// is left to end by itself: "SendRequest() failed, no answer from <host>
// within 9500 ms, the exchange is abandoned" is logged and nothing it does
// afterwards is logged or sent back.
std::string SendServerRequest(const std::string& action, const ReportParams& params, const std::string& secret);

// The WinINet calls of an exchange, in calling order.
enum class HttpCall {
  kInternetOpen,
  kInternetConnect,
  kHttpOpenRequest,
  kHttpSendRequest,
  kHttpQueryInfo,
  kInternetReadFile,
};

// Test seam: makes `call` fail with `error` (0: no longer) in the following
// exchanges, without reaching WinINet. Only for failures Wine cannot stage:
// under Wine these calls fail only with WinINet's own error codes, or not at
// all for a valid handle.
void FailHttpCallForTesting(HttpCall call, unsigned long error);

// Exchanges whose caller or worker is still running (a worker left by its
// caller ends once it gets past what held it).
int ExchangesAliveForTesting();

// Test seam: sends the following requests to `host`:`port` (tests start a
// report server on loopback). A null host restores the build setting.
void SetReportServerForTesting(const wchar_t* host, unsigned short port);

}  // namespace qrn
