// Entry point of the installer until the wizard window exists: the program
// finds its own payload and checks that its index can be read. Exit code 0
// when the payload is usable, 1 otherwise.
#include <windows.h>

#include <string>

#include "payload/ArchiveIndex.h"
#include "payload/MvsReader.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  qrn::MvsFile* file = qrn::MvsOpen(self);
  if (file == qrn::kMvsInvalid) return 1;
  qrn::UniqueMvsFile reader(file);
  uint8_t header[qrn::archive::kHeaderSize];
  if (!qrn::MvsReadHeader(file, header)) return 1;
  qrn::archive::ArchiveIndex index;
  std::string detail;
  return qrn::archive::LoadArchiveIndex(file, qrn::archive::DecodeHeader(header), &index, &detail) ==
                 qrn::archive::IndexStatus::kOk
             ? 0
             : 1;
}
