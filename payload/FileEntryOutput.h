// The entry decoder's output in the installer: an open file, written with
// WriteFile from its current position. Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "payload/EntryDecoder.h"

namespace qrn {

class FileEntryOutput final : public EntryOutput {
 public:
  // Does not own `file`; the caller keeps it open while the decoder writes.
  // Once `stop` (when given) is set, writes fail without writing.
  explicit FileEntryOutput(HANDLE file, const std::atomic<bool>* stop = nullptr) : file_(file), stop_(stop) {}

  // One WriteFile call (the decoder's chunks stay under the 8 MiB cap). A
  // failed or short write sets `detail` to "WriteFile() failed, error code:N".
  bool Write(const uint8_t* data, uint32_t size, std::string* detail) override;

 private:
  HANDLE file_;
  const std::atomic<bool>* stop_;
};

}  // namespace qrn
