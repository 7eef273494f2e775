// File access of the reader on POSIX systems (packer, native tests, fuzzing).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "payload/MvsReader.h"

namespace qrn {
namespace {

class PosixSource final : public ArchiveSource {
 public:
  explicit PosixSource(int fd) : fd_(fd) {}
  ~PosixSource() override { close(fd_); }
  PosixSource(const PosixSource&) = delete;
  PosixSource& operator=(const PosixSource&) = delete;

  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override {
    *got = 0;
    char* out = static_cast<char*>(buffer);
    while (*got < length) {
      const ssize_t n = pread(fd_, out + *got, length - *got, static_cast<off_t>(offset + *got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) break;
      *got += static_cast<uint32_t>(n);
    }
    return true;
  }

  bool Size(uint64_t* size) override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

 private:
  int fd_;
};

}  // namespace

MvsFile* MvsOpen(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kMvsInvalid;
  return MvsOpenSource(std::make_unique<PosixSource>(fd));
}

}  // namespace qrn
