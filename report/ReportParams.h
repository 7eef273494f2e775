// The parameter set of a report request. Portable.
#pragma once

#include <map>
#include <string>

namespace qrn {

// Key to value, both 8-bit ANSI byte strings. std::less<std::string>
// compares through char_traits<char>, which orders like memcmp (bytes as
// unsigned), so iteration is byte-wise ascending by key: the order in which
// the request is serialised and signed.
using ReportParams = std::map<std::string, std::string>;

}  // namespace qrn
