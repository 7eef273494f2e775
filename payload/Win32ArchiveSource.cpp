// File access of the reader over a Win32 file handle.
#include <windows.h>

#include "base/Owners.h"
#include "payload/MvsReader.h"

namespace qrn {
namespace {

class Win32Source final : public ArchiveSource {
 public:
  explicit Win32Source(UniqueFile file) : file_(std::move(file)) {}

  // A seek and a plain read on the reader's own handle. An OVERLAPPED
  // offset would save the seek, but under Wine it costs a round trip to the
  // server per read (the completion a port might wait for).
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = 0;
    LARGE_INTEGER where;
    where.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), where, nullptr, FILE_BEGIN)) return false;
    char* out = static_cast<char*>(buffer);
    while (*got < length) {
      DWORD n = 0;
      if (!ReadFile(file_.get(), out + *got, length - *got, &n, nullptr)) return false;
      if (n == 0) break;  // the end of the file
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
