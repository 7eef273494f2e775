#include "report/Http2Server.h"

#include <process.h>
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include "base/Owners.h"
#include "log/Log.h"
#include "report/AnsiUtf8.h"
#include "report/ReportServer.h"
#include "report/RequestCodec.h"
#include "system/DelayLoadHooks.h"
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

// No option bounds the name resolution, which WinINet does inside
// HttpSendRequest and which can take as long as the system's resolver
// likes (its retries against a DNS server that does not answer, a resolver
// that hangs). So the exchange runs on a worker thread of its own and the
// caller waits for it this long, then gives up and goes on. The caller's
// own work around the wait (encoding, a thread start, decoding, a few log
// lines) takes milliseconds: the whole call stays under 10 s.
constexpr DWORD kExchangeWaitMs = 9500;

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
// Trivially destructible: a worker that outlives main() may still count down.
std::atomic<int> g_exchangesAlive{0};

// One exchange: everything its worker thread uses, owned by the exchange.
// The caller and the worker each hold a reference; whoever lets go last
// frees it. A worker the caller stopped waiting for may go on as long as the
// resolver holds it: past the caller's return, the closing of the log (which
// frees the log object), the next exchange and the end of main(). So it
// touches nothing of the program but this object, g_exchangesAlive and its
// own WinINet handles:
//   - its log lines are kept here as notes, which the caller writes once
//     the worker has ended in time and drops otherwise;
//   - its handles are its own to close. Closing them from the caller would
//     not cut the resolver short (its call cannot be interrupted; WinINet
//     sees the close only when it returns), and a closed handle's value is
//     handed to the next handle made (Wine's WinINet takes the lowest free
//     one), which the worker, still holding the old value, could then use.
class Exchange {
 public:
  struct Note {
    bool error;  // else a warning
    int line;    // in this file
    std::string text;
  };

  // Set by the caller before the worker starts; the worker only reads them.
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;
  std::wstring agent;
  HttpCall failingCall = HttpCall::kInternetOpen;
  DWORD failingError = 0;

  // Written by the worker; the caller reads them only once `answered` is
  // set or the worker ended.
  bool ok = false;
  std::string body;
  std::vector<Note> notes;

  // Set by the worker once the answer above is complete, before it closes
  // its handles: closing a request whose body was not read to the end can
  // take as long as the rest of the body takes to arrive (Wine's WinINet
  // drains it), and that is no part of the exchange the caller waits for.
  // Made by the caller before the worker starts.
  UniqueHandle answered;
  std::atomic<bool> handedOver{false};

  // Set by the caller when it stops waiting; the worker then stops at its
  // next step and its notes are never written.
  std::atomic<bool> abandoned{false};

  Exchange() { ++g_exchangesAlive; }
  ~Exchange() { --g_exchangesAlive; }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  void AddRef() { ++references_; }
  void Release() {
    if (--references_ == 0) delete this;
  }

  __attribute__((format(gnu_printf, 4, 5))) void Add(bool error, int line, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    notes.push_back(Note{error, line, text});
  }

  // True (with the last error set) when a test asked `call` to fail.
  bool FailsForTesting(HttpCall call) const {
    if (failingError == 0 || failingCall != call) return false;
    SetLastError(failingError);
    return true;
  }

 private:
  std::atomic<int> references_{1};
};

#define EXCHANGE_ERROR(exchange, ...) (exchange).Add(true, __LINE__, __VA_ARGS__)
#define EXCHANGE_WARNING(exchange, ...) (exchange).Add(false, __LINE__, __VA_ARGS__)

// Holds one reference to an exchange.
class ExchangeRef {
 public:
  explicit ExchangeRef(Exchange* exchange) : exchange_(exchange) {}
  ~ExchangeRef() { reset(); }
  ExchangeRef(const ExchangeRef&) = delete;
  ExchangeRef& operator=(const ExchangeRef&) = delete;
  Exchange* get() const { return exchange_; }
  Exchange* operator->() const { return exchange_; }
  explicit operator bool() const { return exchange_ != nullptr; }
  void reset() {
    if (exchange_ != nullptr) exchange_->Release();
    exchange_ = nullptr;
  }

 private:
  Exchange* exchange_;
};

// WinINet's own failures carry codes of its range: they are logged as the
// internet error, with the platform's text for it (the line keeps the name
// the log has always used for it). A step failing with any other code gets
// that step's own line.
bool IsInternetError(DWORD error) { return error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST; }

void NoteInternetException(Exchange& exchange, DWORD error) {
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
  EXCHANGE_ERROR(exchange, "CInternetException() failed, error msg:%s", ansi ? ansi.get() : "");
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

void SetTimeout(Exchange& exchange, HINTERNET request, DWORD option, DWORD milliseconds) {
  if (!InternetSetOptionW(request, option, &milliseconds, sizeof milliseconds)) {
    EXCHANGE_WARNING(exchange, "InternetSetOption() failed, error code:%d option:%d", static_cast<int>(GetLastError()),
                     static_cast<int>(option));
  }
}

// Reads the body line by line, each line followed by CR LF, up to the end or
// to kBodyReadLimit bytes. False after a read failure (already noted) or
// when the caller gave up.
bool ReadBodyLines(Exchange& exchange, HINTERNET request, std::string* body) {
  std::string line;
  DWORD total = 0;
  char chunk[1024];
  while (total < kBodyReadLimit) {
    if (exchange.abandoned) return false;
    const DWORD want = kBodyReadLimit - total < sizeof chunk ? kBodyReadLimit - total : sizeof chunk;
    DWORD got = 0;
    if (exchange.FailsForTesting(HttpCall::kInternetReadFile) || !InternetReadFile(request, chunk, want, &got)) {
      NoteInternetException(exchange, GetLastError());
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

// The WinINet handles of one exchange, closed children first.
struct ExchangeHandles {
  UniqueInternet session;
  UniqueInternet connection;
  UniqueInternet request;
};

// Steps 1 to 6 of the exchange, on its worker thread; the body of a
// status-200 answer in exchange.body. Each failure is noted where it
// happens; the handles are the caller's to close.
bool RunExchange(Exchange& exchange, ExchangeHandles& handles) {
  UniqueInternet& session = handles.session;
  session.reset(
      exchange.FailsForTesting(HttpCall::kInternetOpen)
          ? nullptr
          : InternetOpenW(exchange.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) {
    NoteInternetException(exchange, GetLastError());
    return false;
  }

  UniqueInternet& connection = handles.connection;
  connection.reset(exchange.FailsForTesting(HttpCall::kInternetConnect)
                                ? nullptr
                                : InternetConnectW(session.get(), exchange.host.c_str(), exchange.port, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      NoteInternetException(exchange, error);
    } else {
      EXCHANGE_ERROR(exchange, "GetHttpConnection() failed, error code:%d", static_cast<int>(error));
    }
    return false;
  }

  UniqueInternet& request = handles.request;
  request.reset(exchange.FailsForTesting(HttpCall::kHttpOpenRequest)
                             ? nullptr
                             : HttpOpenRequestW(connection.get(), L"GET", exchange.object.c_str(), L"HTTP/1.0",
                                                nullptr, nullptr, INTERNET_FLAG_EXISTING_CONNECT, kContext));
  if (!request) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      NoteInternetException(exchange, error);
    } else {
      EXCHANGE_ERROR(exchange, "OpenRequest() failed, error code:%d", static_cast<int>(error));
    }
    return false;
  }
  SetTimeout(exchange, request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  SetTimeout(exchange, request.get(), INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
  SetTimeout(exchange, request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);

  if (exchange.abandoned) return false;
  DWORD status = 0;
  if (exchange.FailsForTesting(HttpCall::kHttpSendRequest) ||
      !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
    const DWORD error = GetLastError();
    if (IsInternetError(error)) {
      NoteInternetException(exchange, error);
      return false;
    }
    EXCHANGE_ERROR(exchange, "SendRequest() failed, error code:%d", static_cast<int>(error));
    SetLastError(error);
  } else {
    DWORD size = sizeof status;
    if (exchange.FailsForTesting(HttpCall::kHttpQueryInfo) ||
        !HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
      status = 0;
    }
  }
  if (status != HTTP_STATUS_OK) {
    EXCHANGE_ERROR(exchange, "QueryInfoStatusCode() failed, error code:%d return code:%d",
                   static_cast<int>(GetLastError()), static_cast<int>(status));
    return false;
  }
  return ReadBodyLines(exchange, request.get(), &exchange.body);
}

// A DLL or function of WinINet that cannot be loaded ends the worker: its
// line goes with the exchange's other notes, and the worker's reference is
// let go, as the thread ends without unwinding.
void EndExchangeAfterDelayLoadFailure(void* context, const char* failure) {
  ExchangeRef& exchange = *static_cast<ExchangeRef*>(context);
  if (!exchange->handedOver) EXCHANGE_ERROR(*exchange.get(), "%s", failure);
  exchange.reset();
}

// The worker thread; takes over the reference the caller made for it.
unsigned __stdcall ExchangeThread(void* param) {
  ExchangeRef exchange(static_cast<Exchange*>(param));
  const DelayLoadFailureExit onDelayLoadFailure(EndExchangeAfterDelayLoadFailure, &exchange, 0);
  {
    ExchangeHandles handles;
    exchange->ok = RunExchange(*exchange.get(), handles);
    // The answer is complete: hand it over, then close the handles (here, at
    // the end of their scope), which the caller does not wait for. Nothing
    // of the exchange but its reference is touched after this.
    exchange->handedOver = true;
    SetEvent(exchange->answered.get());
  }
  return 0;
}

// Runs the exchange on its worker and waits for its answer at most
// kExchangeWaitMs. True with the body when the worker got a status-200
// answer in time; the worker's notes are logged when it answered (or ended)
// in time.
bool ExchangeBounded(std::wstring object, std::string* body) {
  ExchangeRef exchange(new (std::nothrow) Exchange);
  if (!exchange) {
    LOG_ERROR("SendRequest() failed, out of memory");
    return false;
  }
  exchange->host = g_serverOverridden ? g_testHost : std::wstring(QRN_REPORT_HOST);
  exchange->port = g_serverOverridden ? g_testPort : static_cast<INTERNET_PORT>(QRN_REPORT_PORT);
  exchange->object = std::move(object);
  exchange->agent = ApplicationName();
  exchange->failingCall = g_failingCall;
  exchange->failingError = g_failingError;
  exchange->answered.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!exchange->answered) {
    LOG_ERROR("CreateEvent() failed, error code:%d", static_cast<int>(GetLastError()));
    return false;
  }

  exchange->AddRef();  // the worker's
  UniqueHandle worker(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ExchangeThread, exchange.get(), 0, nullptr)));
  if (!worker) {
    LOG_ERROR("_beginthreadex() failed, error code:%d", static_cast<int>(GetLastError()));
    exchange->Release();  // the worker's, never handed over
    return false;
  }
  // The worker sets `answered` when its answer is complete; a worker ended
  // without it (a delay-load failure) has its notes complete too.
  const HANDLE ends[] = {exchange->answered.get(), worker.get()};
  const DWORD waited = WaitForMultipleObjects(2, ends, FALSE, kExchangeWaitMs);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_OBJECT_0 + 1) {
    exchange->abandoned = true;
    const std::unique_ptr<char[]> host = CStringToMultiByte(exchange->host);
    LOG_ERROR("SendRequest() failed, no answer from %s within %d ms, the exchange is abandoned",
              host ? host.get() : "", static_cast<int>(kExchangeWaitMs));
    return false;
  }
  for (const Exchange::Note& note : exchange->notes) {
    if (note.error) {
      LogError(QRN_LOG_MODULE, __FILE_NAME__, note.line, "%s", note.text.c_str());
    } else {
      LogWarning(QRN_LOG_MODULE, __FILE_NAME__, note.line, "%s", note.text.c_str());
    }
  }
  if (!exchange->ok) return false;
  *body = std::move(exchange->body);
  return true;
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
  if (!ExchangeBounded(MultiByteToCString(path.c_str()), &body)) return std::string();
  return DecodeResponse(body, secret, AnsiUtf8Conversions());
}

void FailHttpCallForTesting(HttpCall call, unsigned long error) {
  g_failingCall = call;
  g_failingError = error;
}

int ExchangesAliveForTesting() { return g_exchangesAlive; }

void SetReportServerForTesting(const wchar_t* host, unsigned short port) {
  g_serverOverridden = host != nullptr;
  g_testHost = host != nullptr ? host : L"";
  g_testPort = port;
}

}  // namespace qrn
