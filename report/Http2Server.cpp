#include "report/Http2Server.h"

#include <windows.h>
#include <wininet.h>

#include "base/Owners.h"
#include "log/Log.h"
#include "report/AnsiUtf8.h"
#include "report/ReportServer.h"
#include "report/RequestCodec.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

// The report is informative only, so it must not hold the install thread for
// long. Measured under Wine 8.0: a server that accepts the connection and
// never answers held HttpSendRequest for over 200 s with WinINet's defaults
// (and with time-outs set on the session or connection handle, which Wine
// does not pass on to the request); a dead port failed at once (12029 after
// 6 ms). So each wait gets its own bound, set on the request handle, where
// both Windows and Wine apply it; connect plus receive stays under 10 s.
constexpr DWORD kConnectTimeoutMs = 3000;
constexpr DWORD kSendTimeoutMs = 3000;
constexpr DWORD kReceiveTimeoutMs = 4000;

// The answer depends only on the leading Base64 text of the body, and a
// decodable answer is at most 2,048 bytes (2,732 Base64 characters): beyond
// 4 KiB nothing can change it, so reading stops there whatever the server
// sends.
constexpr DWORD kBodyReadLimit = 4096;

constexpr DWORD_PTR kContext = 1;

bool g_serverOverridden = false;
std::wstring g_testHost;
INTERNET_PORT g_testPort = 0;
HttpCall g_failingCall = HttpCall::kInternetOpen;
DWORD g_failingError = 0;

// True (with the last error set) when a test asked `call` to fail.
bool FailsForTesting(HttpCall call) {
  if (g_failingError == 0 || g_failingCall != call) return false;
  SetLastError(g_failingError);
  return true;
}

// WinINet's own failures carry codes of its range: they are logged as the
// internet error, with the platform's text for it (the line keeps the name
// the log has always used for it). A step failing with any other code gets
// that step's own line.
bool IsInternetError(DWORD error) { return error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST; }

void LogInternetException(DWORD error) {
  wchar_t text[260] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                GetModuleHandleW(L"wininet.dll"), error, 0, text, 260, nullptr);
  if (length == 0) {
    length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 260,
                            nullptr);
  }
  if (length == 0) {
    const int printed = swprintf(text, 260, L"error %lu", error);
    length = printed > 0 ? static_cast<DWORD>(printed) : 0;
  }
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
    text[--length] = L'\0';
  }
  const std::unique_ptr<char[]> ansi = CStringToMultiByte(text);
  LOG_ERROR("CInternetException() failed, error msg:%s", ansi ? ansi.get() : "");
}

// The program's name as the framework knows it: the executable's file name
// without extension.
std::wstring ApplicationName() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, length < MAX_PATH ? length : 0);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

void SetTimeout(HINTERNET request, DWORD option, DWORD milliseconds) {
  if (!InternetSetOptionW(request, option, &milliseconds, sizeof milliseconds)) {
    LOG_WARNING("InternetSetOption() failed, error code:%d option:%d", static_cast<int>(GetLastError()),
                static_cast<int>(option));
  }
}

// Reads the body line by line, each line followed by CR LF, up to the end or
// to kBodyReadLimit bytes. False after a read failure (already logged).
bool ReadBodyLines(HINTERNET request, std::string* body) {
  std::string line;
  DWORD total = 0;
  char chunk[1024];
  while (total < kBodyReadLimit) {
    const DWORD want = kBodyReadLimit - total < sizeof chunk ? kBodyReadLimit - total : sizeof chunk;
    DWORD got = 0;
    if (FailsForTesting(HttpCall::kInternetReadFile) || !InternetReadFile(request, chunk, want, &got)) {
      LogInternetException(GetLastError());
      return false;
    }
    if (got == 0) break;
    total += got;
    for (DWORD i = 0; i < got; ++i) {
      if (chunk[i] != '\n') {
        line += chunk[i];
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      *body += line;
      *body += "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) {
    *body += line;
    *body += "\r\n";
  }
  return true;
}

// Steps 1 to 6 of the exchange; the body of a status-200 answer in `body`.
// Each failure is logged where it happens; the owners close request,
// connection and session (children first) on every way out.
bool Exchange(const std::wstring& object, std::string* body) {
  const std::wstring host = g_serverOverridden ? g_testHost : std::wstring(QRN_REPORT_HOST);
  const INTERNET_PORT port = g_serverOverridden ? g_testPort : static_cast<INTERNET_PORT>(QRN_REPORT_PORT);

  UniqueInternet session(
      FailsForTesting(HttpCall::kInternetOpen)
          ? nullptr
          : InternetOpenW(ApplicationName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) {
    LogInternetException(GetLastError());
    return false;
  }

  UniqueInternet connection(
      FailsForTesting(HttpCall::kInternetConnect)
          ? nullptr
          : InternetConnectW(session.get(), host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      LogInternetException(error);
    } else {
      LOG_ERROR("GetHttpConnection() failed, error code:%d", static_cast<int>(error));
    }
    return false;
  }

  UniqueInternet request(FailsForTesting(HttpCall::kHttpOpenRequest)
                             ? nullptr
                             : HttpOpenRequestW(connection.get(), L"GET", object.c_str(), L"HTTP/1.0", nullptr, nullptr,
                                                INTERNET_FLAG_EXISTING_CONNECT, kContext));
  if (!request) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      LogInternetException(error);
    } else {
      LOG_ERROR("OpenRequest() failed, error code:%d", static_cast<int>(error));
    }
    return false;
  }
  SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
  SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);

  DWORD status = 0;
  if (FailsForTesting(HttpCall::kHttpSendRequest) || !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      LogInternetException(error);
      return false;
    }
    LOG_ERROR("SendRequest() failed, error code:%d", static_cast<int>(error));
  } else {
    DWORD size = sizeof status;
    if (FailsForTesting(HttpCall::kHttpQueryInfo) ||
        !HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
      status = 0;
    }
  }
  if (status != HTTP_STATUS_OK) {
    LOG_ERROR("QueryInfoStatusCode() failed, error code:%d return code:%d", static_cast<int>(GetLastError()),
              static_cast<int>(status));
    return false;
  }
  return ReadBodyLines(request.get(), body);
}

}  // namespace

std::string SendServerRequest(const std::string& action, const ReportParams& params, const std::string& secret) {
  std::string path;
  switch (EncodeRequestPath(action, params, secret, AnsiUtf8Conversions(), &path)) {
    case RequestEncoding::kOk:
      break;
    case RequestEncoding::kSecretNotAKey:
      LOG_ERROR("EncodeRequest() failed, the secret is no AES-256 key");
      return std::string();
    case RequestEncoding::kRequestTooLong:
      LOG_ERROR("EncodeRequest() failed, request over %d bytes", static_cast<int>(kMaxRequestPlaintext));
      return std::string();
  }
  std::string body;
  if (!Exchange(MultiByteToCString(path.c_str()), &body)) return std::string();
  return DecodeResponse(body, secret, AnsiUtf8Conversions());
}

void FailHttpCallForTesting(HttpCall call, unsigned long error) {
  g_failingCall = call;
  g_failingError = error;
}

void SetReportServerForTesting(const wchar_t* host, unsigned short port) {
  g_serverOverridden = host != nullptr;
  g_testHost = host != nullptr ? host : L"";
  g_testPort = port;
}

}  // namespace qrn
