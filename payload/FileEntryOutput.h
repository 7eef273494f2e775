// The entry decoder's output in the installer: an open file, written with
// WriteFile from its current position. Windows.
#pragma once

#include <windows.h>

#include <string>

#include "payload/EntryDecoder.h"

namespace qrn {

class FileEntryOutput final : public EntryOutput {
 public:
  // Does not own `file`; the caller keeps it open while the decoder writes.
  explicit FileEntryOutput(HANDLE file) : file_(file) {}

  // One WriteFile call (the decoder's chunks stay under the 8 MiB cap). A
  // failed or short write sets `detail` to "WriteFile() failed, error code:N".
  bool Write(const uint8_t* data, uint32_t size, std::string* detail) override;

 private:
  HANDLE file_;
};

}  // namespace qrn
