// TEST ONLY: an install thread that changes nothing on the machine. It plays
// a plan of progress targets, status texts, pauses and a failure, so that
// tests can drive the window through its states before (and besides) the
// engine's real install thread.
//
// The plan comes from the environment variable QRN_STANDIN_PLAN: steps
// separated by ';'
//   p<N>     progressTarget = N
//   s<text>  SetStatusText(text)
//   w<ms>    sleep
//   f        installFailed = TRUE, and the thread ends
//   h        hold: sleep until the process ends
// Without the variable: a short successful run through the status texts of
// a real installation, ending with progressTarget = 100.
#pragma once

namespace qrn {

unsigned __stdcall StandinInstallThread(void* settings);

}  // namespace qrn
