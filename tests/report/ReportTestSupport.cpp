#include "tests/report/ReportTestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "log/LogModule.h"

namespace qrn::test {
namespace {

class WinsockScope {
 public:
  WinsockScope() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockScope() {
    if (ok_) WSACleanup();
  }
  bool ok() const { return ok_; }

 private:
  WSADATA data_{};
  bool ok_ = false;
};

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// One HTTP/1.0 control request; the body of a 200 answer, or false.
bool Control(const std::string& command, std::string* body) {
  WinsockScope winsock;
  if (!winsock.ok() || ReportServer::Port() == 0) return false;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address = Loopback(ReportServer::Port());
  std::string answer;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET /control/" + command + " HTTP/1.0\r\n\r\n";
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char buffer[4096];
    for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  }
  closesocket(s);
  if (answer.compare(0, 12, "HTTP/1.0 200") != 0) return false;
  const size_t start = answer.find("\r\n\r\n");
  *body = start == std::string::npos ? std::string() : answer.substr(start + 4);
  return true;
}

std::vector<Row> Rows(const std::string& command) {
  std::string body;
  std::vector<Row> rows;
  if (!Control(command, &body)) return rows;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    Row row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) {
      const size_t eq = field.find('=');
      row[field.substr(0, eq)] = eq == std::string::npos ? std::string() : field.substr(eq + 1);
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

unsigned short ReportServer::Port() {
  const char* port = std::getenv("QRN_REPORT_PORT");
  return port != nullptr ? static_cast<unsigned short>(std::atoi(port)) : 0;
}

bool ReportServer::SetMode(const std::string& mode) {
  std::string body;
  return Control("mode/" + mode, &body);
}

std::vector<Row> ReportServer::Reports() { return Rows("reports"); }
std::vector<Row> ReportServer::Rejects() { return Rows("rejects"); }

bool ReportServer::Reset() {
  std::string body;
  return Control("reset", &body);
}

unsigned short DeadPort() {
  WinsockScope winsock;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = Loopback(0);
  int size = sizeof address;
  unsigned short port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  return port;
}

CapturedLog::CapturedLog() { open_ = LogInit("Install", dir_.path().string().c_str()); }

CapturedLog::~CapturedLog() {
  if (open_) LogUninit();
}

std::vector<LogLine> CapturedLog::Lines() {
  if (open_) LogUninit();
  open_ = false;
  std::vector<LogLine> lines;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    std::ifstream in(entry.path(), std::ios::binary);
    // "hh:mm:ss.mmm Ovastro@<file>(<line>)$<level>:<message>\r\n"
    static const std::regex format(R"(^\d\d:\d\d:\d\d\.\d\d\d Ovastro@([^(]+)\(\d+\)\$(\w+):(.*)\r$)");
    for (std::string text; std::getline(in, text);) {
      std::smatch m;
      if (std::regex_match(text, m, format)) {
        lines.push_back({m[1], m[2], m[3]});
      } else {
        lines.push_back({"?", "?", text});
      }
    }
  }
  return lines;
}

std::vector<LogLine> Matching(const std::vector<LogLine>& lines, const std::string& level, const std::string& pattern) {
  const std::regex re(pattern);
  std::vector<LogLine> found;
  for (const LogLine& line : lines) {
    if (line.level == level && std::regex_match(line.message, re)) found.push_back(line);
  }
  return found;
}

std::string Describe(const std::vector<LogLine>& lines) {
  std::string text = "log:\n";
  for (const LogLine& line : lines) text += "  " + line.file + " $" + line.level + ":" + line.message + "\n";
  return text;
}

}  // namespace qrn::test
