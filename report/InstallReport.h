// The install report: what it carries and its one call. Windows.
#pragma once

#include "report/ReportParams.h"

namespace qrn {

// The report secret: signing suffix and AES-256 key of every request, built
// into the program and never sent or logged.
const char* ReportSecret();

// The nine parameters of an install report: uid, use_module, platform,
// deviceID, version, local_time, download_pos, uninstall_reason, description
// (gathered in that order, serialised in key order).
ReportParams MakeInstallReportParams();

// Sends the install report ("InstallInfo"). True when the server returned a
// non-empty decoded answer; its text is not interpreted. The outcome never
// changes the installation, and the call holds the install thread under
// 10 s whatever the network and the name resolution do (SendServerRequest).
bool SendInstallInfo();

}  // namespace qrn
