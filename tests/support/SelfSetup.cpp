#include "tests/support/SelfSetup.h"

#include <gtest/gtest.h>

#include "base/Owners.h"
#include "payload/ArchiveWriter.h"
#include "tests/support/StandIns.h"
#include "tests/support/TempDir.h"

namespace qrn::test {

void WriteSelfSetup(const std::filesystem::path& setup, const std::vector<PayloadFile>& files,
                    const archive::ArchiveOptions& options) {
  wchar_t self[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::vector<uint8_t> image = ReadBytes(self);
  archive::MemorySink sink;
  sink.Write(image.data(), image.size());
  archive::ArchiveWriter writer(sink, static_cast<uint32_t>(image.size()), options);
  for (const PayloadFile& f : files) {
    ASSERT_TRUE(writer.AddFile(f.name, f.data.data(), f.data.size(), FILE_ATTRIBUTE_ARCHIVE, {})) << writer.error();
  }
  ASSERT_TRUE(writer.Finish()) << writer.error();
  std::error_code ec;
  std::filesystem::create_directories(setup.parent_path(), ec);
  WriteBytes(setup, sink.bytes());
}

DWORD RunAndWait(const std::filesystem::path& program, const std::wstring& arguments, DWORD timeoutMs) {
  UniqueProcessInformation process;
  Launch(program, arguments, &process);
  if (process.get().hProcess == nullptr) return 0xFFFFFFFF;
  if (WaitForSingleObject(process.get().hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get().hProcess, 1);
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.get().hProcess, &code);
  return code;
}

}  // namespace qrn::test
