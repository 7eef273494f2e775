#include "payload/FileEntryOutput.h"

namespace qrn {

bool FileEntryOutput::Write(const uint8_t* data, uint32_t size, std::string* detail) {
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) {
    *detail = "the pass stopped";
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file_, data, size, &written, nullptr);
  if (!ok || written != size) {
    // A short write that reports success has no error code of its own.
    const DWORD error = ok ? static_cast<DWORD>(ERROR_WRITE_FAULT) : GetLastError();
    *detail = "WriteFile() failed, error code:" + std::to_string(error);
    return false;
  }
  return true;
}

}  // namespace qrn
