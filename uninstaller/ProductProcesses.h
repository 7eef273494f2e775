// Ending the product's programs before their files are removed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qrn {

// Terminates every running process whose executable is one of `programs`
// (full paths, compared ignoring case) and waits, bounded, for each to end,
// so that its file can be deleted. Only recorded files count as the
// product's programs: an unrelated program that happens to run from the
// install folder (a setup started from there, waiting for this uninstaller)
// is never touched, nor is this process. True when none is left running.
bool EndProductProcesses(const std::vector<std::wstring>& programs);

}  // namespace qrn
