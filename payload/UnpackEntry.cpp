#include "payload/UnpackEntry.h"

#include "log/Log.h"
#include "payload/FileEntryOutput.h"
#include "system/NewerKernel32.h"
#include "system/SetupInfo.h"

namespace qrn {

using namespace archive;

namespace {

// The attributes SetFileAttributes can give a file; any other bit in a
// damaged record would make the whole call fail.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Gives the open file the archive's times and attributes in one call on the
// handle: separate SetFileTime and SetFileAttributesW (which opens the file
// again by name) cost a third of the pass's per-file time under Wine.
void ApplyTimesAndAttributes(HANDLE file, const IndexEntry& entry, const std::wstring& destination) {
  FILE_BASIC_INFO basic{};
  basic.CreationTime.QuadPart = static_cast<LONGLONG>(entry.times.creationTime);
  basic.LastAccessTime.QuadPart = static_cast<LONGLONG>(entry.times.lastAccessTime);
  basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(entry.times.lastWriteTime);
  basic.ChangeTime.QuadPart = 0;  // left as the system keeps it
  const DWORD attributes = entry.entry.attributes & kSettableAttributes;
  // 0 would mean "leave unchanged"; SetFileAttributesW(0) makes a normal file.
  basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandleLate(file, FileBasicInfo, &basic, sizeof basic)) {
    LOG_WARNING("SetFileInformationByHandle() failed, error code:%d path:%s", static_cast<int>(GetLastError()),
                AnsiPath(destination).c_str());
  }
}

}  // namespace

std::string AnsiPath(const std::wstring& path) {
  const auto ansi = CStringToMultiByte(path);
  return ansi ? std::string(ansi.get()) : std::string();
}

bool UnpackEntry(MvsFile* reader, EntryDecoder& decoder, uint32_t compression, const IndexEntry& entry, HANDLE file,
                 const std::wstring& destination, bool withTimes, const std::atomic<bool>* stop) {
  std::string detail;
  FileEntryOutput output(file, stop);
  const DecodeStatus status = decoder.Decode(reader, compression, entry, output, &detail);
  if (status != DecodeStatus::kOk) {
    LOG_ERROR("extracting file failed, path:%s, entry:%s: %s", AnsiPath(destination).c_str(), entry.name.c_str(),
              detail.c_str());
    return false;
  }
  if (!detail.empty()) {
    LOG_WARNING("extracting file, path:%s, entry:%s: %s", AnsiPath(destination).c_str(), entry.name.c_str(),
                detail.c_str());
  }
  if (withTimes) ApplyTimesAndAttributes(file, entry, destination);
  return true;
}

}  // namespace qrn
