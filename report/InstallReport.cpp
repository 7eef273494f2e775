#include "report/InstallReport.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "report/DeviceIdentity.h"
#include "report/Http2Server.h"

namespace qrn {
namespace {

const char kReportSecret[] = "5c0e7a21b9d84f36a1e3c7092b6d4f58";
const char kProductVersion[] = "6.1.0.3_20200220";
constexpr int kUseModule = 13;

std::string PrintNumber(int value) {
  char text[20] = {};
  snprintf(text, sizeof text, "%d", value);
  return text;
}

}  // namespace

const char* ReportSecret() { return kReportSecret; }

ReportParams MakeInstallReportParams() {
  ReportParams params;
  params["uid"] = GetUid();
  params["use_module"] = PrintNumber(kUseModule);
  params["platform"] = "windows";
  params["deviceID"] = GetDeviceID();
  params["version"] = kProductVersion;
  // The low 32 bits of the calendar time, as a signed number: what the
  // server has always been sent.
  params["local_time"] = PrintNumber(static_cast<int32_t>(static_cast<uint32_t>(time(nullptr))));
  params["download_pos"] = "1";
  params["uninstall_reason"] = "";
  params["description"] = "";
  return params;
}

bool SendInstallInfo() { return !SendServerRequest("InstallInfo", MakeInstallReportParams(), kReportSecret).empty(); }

}  // namespace qrn
