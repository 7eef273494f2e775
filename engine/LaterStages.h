// What the install sequence calls that other work fills in: the install
// report. Until the report room is built, SendInstallInfo is a neutral
// stand-in that sends nothing and reports success.
#pragma once

namespace qrn {

// Sends the install report; true when the server answered. Stand-in: true.
bool SendInstallInfo();

}  // namespace qrn
