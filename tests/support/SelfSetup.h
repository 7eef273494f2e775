// Windows tests that need a real setup around the code under test: the test
// program copies its own executable, appends an archive to the copy, and
// runs the copy, which finds the payload in its own file as the installer
// does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/ArchiveWriter.h"

namespace qrn::test {

struct PayloadFile {
  std::string name;  // archive entry name, code page 936 bytes
  std::vector<uint8_t> data;
};

// Writes this program with `files` appended as its payload to `setup`.
void WriteSelfSetup(const std::filesystem::path& setup, const std::vector<PayloadFile>& files,
                    const archive::ArchiveOptions& options = {});

// Runs `program arguments` and waits; the exit code, or 0xFFFFFFFF when it
// could not start or did not end within `timeoutMs`.
DWORD RunAndWait(const std::filesystem::path& program, const std::wstring& arguments, DWORD timeoutMs);

}  // namespace qrn::test
