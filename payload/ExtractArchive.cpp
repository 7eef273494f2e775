#include "payload/ExtractArchive.h"

#include <memory>
#include <new>
#include <vector>

#include "base/Owners.h"
#include "log/Log.h"
#include "log/LogHold.h"
#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/EntryWorkers.h"
#include "payload/InstallInfo.h"
#include "payload/MapArchivePath.h"
#include "payload/MvsReader.h"
#include "payload/NameLists.h"
#include "payload/UnpackEntry.h"
#include "system/MakePath.h"
#include "system/NewerKernel32.h"
#include "system/SetupInfo.h"

namespace qrn {

using namespace archive;

namespace {

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

// Opens a file that does not exist yet; no log line when it does.
UniqueFile CreateNewDestination(const std::wstring& path) {
  return UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW, 0, nullptr));
}

UniqueFile CreateDestination(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) {
    // In use or read-only: the entry is skipped and the pass goes on.
    LOG_WARNING("CreateFile() failed, error code:%d path:%s", static_cast<int>(GetLastError()), AnsiPath(path).c_str());
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
  // Lines of entries not handed over yet (unsafe names, files in use, ...)
  // wait for the entries before them, so the log keeps entry order.
  LogHold pending;
  EntryWorkers workers(payload.reader.get(), payload.decoder, payload.index.header.compression, withTimes);
  {
    ScopedLogHold hold(&pending);
    workers.Start(archivePath, ExtractionWorkerCount());
    std::wstring lastFolder;
    std::vector<std::wstring> newFolders;  // made since the last job handed over
    // Takes back every job handed over, then writes the lines after them. On
    // a failed entry the folders made since the last job go too.
    const auto drain = [&workers, &pending, &newFolders] {
      if (!workers.Drain()) {
        RemoveFolders(newFolders);
        return false;
      }
      pending.Replay();
      return true;
    };
    for (uint32_t i = 0; i < count; ++i) {
      settings.progressTarget = ExtractionProgress(i, count);
      const IndexEntry& entry = entries[i];
      if (entry.IsFolder()) continue;
      const std::wstring name = MultiByteToCString(entry.name.c_str());
      std::wstring destination;
      if (!MapArchivePath(installFolder, name, &destination)) continue;
      if (destination.size() >= MAX_PATH) {
        LOG_ERROR("destination path too long, skipped, path:%s", AnsiPath(destination).c_str());
        continue;
      }
      const size_t slash = destination.rfind(L'\\');
      // Entries come folder by folder: the folder made for the entry before
      // needs no second look. Folders made here go with the next job handed
      // over, so that a failed entry before them takes them away again.
      std::wstring folder = destination.substr(0, slash);
      if (folder != lastFolder) {
        if (!MakePath(folder, &newFolders)) {
          drain();
          return FALSE;
        }
        lastFolder.swap(folder);
      }
      const std::wstring baseName = destination.substr(slash + 1);
      if (!IsRuntimeDll(baseName)) record.Add(destination);
      if (IsSkippedFile(baseName)) continue;

      settings.SetStatusText(L"正在解压文件：" + baseName);
      std::unique_ptr<EntryJob> job(new (std::nothrow) EntryJob);
      if (!job) {
        LOG_ERROR("extraction buffers do not fit in memory");
        drain();
        return FALSE;
      }
      job->entry = &entry;
      job->destination = destination;
      // A new file may be written while the entries before it are still
      // unpacked; one that exists is opened (and cut) only after them.
      job->file = CreateNewDestination(destination);
      job->created = static_cast<bool>(job->file);
      if (!job->file) {
        if (!drain()) return FALSE;
        job->file = CreateDestination(destination);
        if (!job->file) continue;
      }
      job->lines.Take(pending);
      job->folders.swap(newFolders);
      if (!workers.Submit(std::move(job))) return FALSE;
    }
    if (!drain()) return FALSE;
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
    if (!UnpackEntry(payload.reader.get(), payload.decoder, payload.index.header.compression, entry, file.get(),
                     settings.previousUninstallString, false)) {
      return FALSE;
    }
    break;
  }
  return TRUE;
}

}  // namespace qrn
