#include "payload/ExtractArchive.h"

#include <vector>

#include "base/Owners.h"
#include "log/Log.h"
#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/FileEntryOutput.h"
#include "payload/InstallInfo.h"
#include "payload/MapArchivePath.h"
#include "payload/MvsReader.h"
#include "payload/NameLists.h"
#include "system/MakePath.h"
#include "system/NewerKernel32.h"
#include "system/SetupInfo.h"

namespace qrn {

using namespace archive;

namespace {

std::string Ansi(const std::wstring& text) {
  const auto ansi = CStringToMultiByte(text);
  return ansi ? std::string(ansi.get()) : std::string();
}

// This program's own file; empty (logged) when its name does not fit.
std::wstring OwnFileName() {
  // The long buffer turns a path beyond MAX_PATH into a clear failure
  // instead of a cut name that would open some other file.
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) {
    LOG_ERROR("GetModuleFileName() failed, error code:%d", static_cast<int>(GetLastError()));
    return std::wstring();
  }
  path.resize(n);
  return path;
}

// An opened payload whose index has passed every bounds check.
struct OpenedPayload {
  UniqueMvsFile reader;
  ArchiveIndex index;
  EntryDecoder decoder;
};

// Opens the payload, checks it as a whole and prepares the decoder. Logs
// and returns false on any failure; nothing has been written then.
bool OpenPayload(const std::wstring& archivePath, OpenedPayload* payload) {
  if (archivePath.empty()) return false;
  MvsFile* file = MvsOpen(archivePath.c_str());
  if (file == kMvsInvalid) {
    LOG_ERROR("MvsOpen() failed");
    return false;
  }
  payload->reader.reset(file);
  uint8_t headerBytes[kHeaderSize];
  if (!MvsReadHeader(file, headerBytes)) {
    LOG_ERROR("MvsReadHeader() failed");
    return false;
  }
  std::string detail;
  switch (LoadArchiveIndex(file, DecodeHeader(headerBytes), &payload->index, &detail)) {
    case IndexStatus::kOk:
      break;
    case IndexStatus::kIndexMagic:
      LOG_ERROR("memcmp() failed");
      return false;
    case IndexStatus::kDamaged:
      LOG_ERROR("damaged archive refused: %s", detail.c_str());
      return false;
    case IndexStatus::kReadFailed:
      LOG_ERROR("archive cannot be read: %s", detail.c_str());
      return false;
    case IndexStatus::kOutOfMemory:
      LOG_ERROR("archive index does not fit in memory");
      return false;
  }
  // Refused here, before the first file would be created empty.
  const uint32_t compression = payload->index.header.compression;
  if (compression != kStored && compression != kZlib) {
    LOG_ERROR("archive compression method %u is not supported", compression);
    return false;
  }
  if (!payload->decoder.Init()) {
    LOG_ERROR("extraction buffers do not fit in memory");
    return false;
  }
  return true;
}

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
                Ansi(destination).c_str());
  }
}

// Unpacks one entry into `file`; logs and returns false on failure.
bool DecodeInto(OpenedPayload& payload, const IndexEntry& entry, HANDLE file, const std::wstring& destination) {
  std::string detail;
  FileEntryOutput output(file);
  const DecodeStatus status =
      payload.decoder.Decode(payload.reader.get(), payload.index.header.compression, entry, output, &detail);
  if (status == DecodeStatus::kOk) {
    if (!detail.empty()) {
      LOG_WARNING("extracting file, path:%s, entry:%s: %s", Ansi(destination).c_str(), entry.name.c_str(),
                  detail.c_str());
    }
    return true;
  }
  LOG_ERROR("extracting file failed, path:%s, entry:%s: %s", Ansi(destination).c_str(), entry.name.c_str(),
            detail.c_str());
  return false;
}

UniqueFile CreateDestination(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) {
    // In use or read-only: the entry is skipped and the pass goes on.
    LOG_WARNING("CreateFile() failed, error code:%d path:%s", static_cast<int>(GetLastError()), Ansi(path).c_str());
  }
  return file;
}

}  // namespace

int32_t ExtractionProgress(uint32_t i, uint32_t n) {
  if (n == 0) return 10;
  // Every step goes through a float in memory: the x87 unit of the 32-bit
  // build would otherwise keep the quotient in extended precision (GCC 12
  // does not round C++ float expressions to their type), and for large
  // counts the truncated sum can then differ by one. For float operands the
  // double rounding via extended precision gives the correctly rounded result.
  volatile float numerator = static_cast<float>(70u * i);
  volatile float denominator = static_cast<float>(n);
  volatile float quotient = numerator / denominator;
  volatile float target = quotient + 10.0f;
  return static_cast<int32_t>(target);
}

BOOL ExtractArchiveSetup(InstallSettings& settings) { return ExtractArchiveSetup(settings, OwnFileName()); }

BOOL ExtractArchiveSetup(InstallSettings& settings, const std::wstring& archivePath) {
  const std::wstring installFolder = settings.installFolder;
  if (installFolder.empty()) {
    // The install record would otherwise land at the current drive's root.
    LOG_ERROR("no install folder set");
    return FALSE;
  }
  OpenedPayload payload;
  if (!OpenPayload(archivePath, &payload)) return FALSE;
  const std::vector<IndexEntry>& entries = payload.index.entries;
  const uint32_t count = static_cast<uint32_t>(entries.size());
  const bool withTimes = payload.index.hasTimes;

  InstallRecord record;
  std::wstring lastFolder;
  for (uint32_t i = 0; i < count; ++i) {
    settings.progressTarget = ExtractionProgress(i, count);
    const IndexEntry& entry = entries[i];
    if (entry.IsFolder()) continue;
    const std::wstring name = MultiByteToCString(entry.name.c_str());
    std::wstring destination;
    if (!MapArchivePath(installFolder, name, &destination)) continue;
    if (destination.size() >= MAX_PATH) {
      LOG_ERROR("destination path too long, skipped, path:%s", Ansi(destination).c_str());
      continue;
    }
    const size_t slash = destination.rfind(L'\\');
    // Entries come folder by folder: the folder made for the entry before
    // needs no second look.
    std::wstring folder = destination.substr(0, slash);
    if (folder != lastFolder) {
      if (!MakePath(folder)) return FALSE;
      lastFolder.swap(folder);
    }
    const std::wstring baseName = destination.substr(slash + 1);
    if (!IsRuntimeDll(baseName)) record.Add(destination);
    if (IsSkippedFile(baseName)) continue;

    settings.SetStatusText(L"正在解压文件：" + baseName);
    UniqueFile file = CreateDestination(destination);
    if (!file) continue;
    if (!DecodeInto(payload, entry, file.get(), destination)) return FALSE;
    if (withTimes) ApplyTimesAndAttributes(file.get(), entry, destination);
  }
  payload.reader.reset();
  // Its result does not change the pass's: the files are in place.
  record.Write(installFolder);
  return TRUE;
}

BOOL ExtractUninstaller(InstallSettings& settings) { return ExtractUninstaller(settings, OwnFileName()); }

BOOL ExtractUninstaller(InstallSettings& settings, const std::wstring& archivePath) {
  OpenedPayload payload;
  if (!OpenPayload(archivePath, &payload)) return FALSE;
  const std::vector<IndexEntry>& entries = payload.index.entries;
  const uint32_t count = static_cast<uint32_t>(entries.size());
  for (uint32_t i = 0; i < count; ++i) {
    settings.progressTarget = ExtractionProgress(i, count);
    const IndexEntry& entry = entries[i];
    if (entry.IsFolder()) continue;
    if (MultiByteToCString(entry.name.c_str()) != kUninstallerEntry) continue;
    UniqueFile file = CreateDestination(settings.previousUninstallString);
    if (!file) continue;
    if (!DecodeInto(payload, entry, file.get(), settings.previousUninstallString)) return FALSE;
    break;
  }
  return TRUE;
}

}  // namespace qrn
