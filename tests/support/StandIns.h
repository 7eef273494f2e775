// Windows tests: where the stand-in programs are, and starting them.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "base/Owners.h"

namespace qrn::test {

// A stand-in from the build's standins-bin folder (beside tests/).
std::filesystem::path StandIn(const std::wstring& file);

// Copies a stand-in to `destination` (folders created).
void PlaceStandIn(const std::wstring& file, const std::filesystem::path& destination);

// Starts `program` with `arguments`; the returned handles are empty when the
// start failed.
void Launch(const std::filesystem::path& program, const std::wstring& arguments, UniqueProcessInformation* process);

// The lines a recorder stand-in wrote to "<its path>.log" (empty when it never ran).
std::wstring RecordedCommandLines(const std::filesystem::path& recorder);

}  // namespace qrn::test
