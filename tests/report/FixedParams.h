// The nine report parameters of one installation with fixed values, for the
// report tests (portable).
#pragma once

#include <string>

#include "report/RequestCodec.h"

namespace qrn::test {

inline ReportParams FixedParams(const std::string& uid = "u-1024") {
  return ReportParams{{"uid", uid},
                      {"use_module", "13"},
                      {"platform", "windows"},
                      {"deviceID", "{9A1B2C3D-4E5F-6a7b-8C9D-0E1F2A3B4C5D}"},
                      {"version", "6.1.0.3_20200220"},
                      {"local_time", "1582161234"},
                      {"download_pos", "1"},
                      {"uninstall_reason", ""},
                      {"description", ""}};
}

}  // namespace qrn::test
