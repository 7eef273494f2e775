// File access of the reader over a Win32 file handle.
#include <windows.h>

#include "base/Owners.h"
#include "payload/MvsReader.h"

namespace qrn {
namespace {

class Win32Source final : public ArchiveSource {
 public:
  explicit Win32Source(UniqueFile file) : file_(std::move(file)) {}

  // Positional reads through an OVERLAPPED offset on a synchronous handle:
  // no separate seek call, and the handle's own file pointer is not used.
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = 0;
    char* out = static_cast<char*>(buffer);
    while (*got < length) {
      OVERLAPPED at{};
      const uint64_t where = offset + *got;
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
      DWORD n = 0;
      if (!ReadFile(file_.get(), out + *got, length - *got, &n, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF;
      }
      if (n == 0) break;
      *got += n;
    }
    return true;
  }

  bool Size(uint64_t* size) override {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file_.get(), &value)) return false;
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
  }

 private:
  UniqueFile file_;
};

}  // namespace

MvsFile* MvsOpen(const wchar_t* path) {
  UniqueFile file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kMvsInvalid;
  return MvsOpenSource(std::make_unique<Win32Source>(std::move(file)));
}

}  // namespace qrn
