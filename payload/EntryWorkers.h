// Unpacking entries side by side.
//
// The install thread opens each entry's file, in entry order, and hands it
// over as a job. Worker threads, each with its own reader of the payload and
// its own buffers, unpack jobs into their files at the same time. Jobs are
// taken back in entry order, and each job's log lines, held back while it was
// worked on (LogHold.h), are written then: the log reads line for line as
// if the install thread had done all the work itself.
//
// When an entry fails, the jobs after it are stopped, their lines dropped and
// the files and folders they created removed; the caller hands over a file
// that existed before only when nothing is outstanding (Drain). So a failed
// pass leaves on disk and in the log what the install thread working alone
// would have left.
//
// Memory: per worker one reader window and the decoder's chunks (about
// 1.4 MiB), whatever the payload's size; at most kSlotsPerWorker open files
// per worker. Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Owners.h"
#include "log/LogHold.h"
#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/MvsReader.h"

namespace qrn {

// One entry's work.
struct EntryJob {
  const archive::IndexEntry* entry = nullptr;
  std::wstring destination;
  UniqueFile file;       // open for writing; closed once the entry is unpacked
  bool created = false;  // made by this pass: removed if an earlier entry fails
  // Folders made by this pass for this entry (and skipped entries before
  // it), outermost first: removed, when empty, if an earlier entry fails.
  std::vector<std::wstring> folders;
  LogHold lines;         // the entry's log lines, in order
  bool ok = false;
};

class EntryWorkers {
 public:
  static constexpr unsigned kMaxWorkers = 4;
  static constexpr unsigned kSlotsPerWorker = 8;

  // `reader` and `decoder` are the caller's, used for jobs when no worker
  // runs; the caller keeps them alive as long as this object.
  EntryWorkers(MvsFile* reader, EntryDecoder& decoder, uint32_t compression, bool withTimes);
  // Stops any job still outstanding (as after a failure) and ends the workers.
  ~EntryWorkers();
  EntryWorkers(const EntryWorkers&) = delete;
  EntryWorkers& operator=(const EntryWorkers&) = delete;

  // Starts up to `count` workers, each reading `archivePath`; fewer, down to
  // none, when a reader cannot be opened or a thread cannot start. Without
  // workers, Submit unpacks the job on the calling thread.
  void Start(const std::wstring& archivePath, unsigned count);
  unsigned workers() const { return static_cast<unsigned>(workers_.size()); }

  // Hands a job over, after taking back the oldest one when every slot is
  // taken. False when a job taken back failed: its lines have been written,
  // the jobs after it stopped (see above), and the pass must stop.
  bool Submit(std::unique_ptr<EntryJob> job);
  // Takes back every job handed over. False as for Submit.
  bool Drain();

 private:
  struct Worker {
    EntryWorkers* owner = nullptr;
    UniqueMvsFile reader;
    EntryDecoder decoder;
    UniqueHandle thread;
  };

  static unsigned __stdcall WorkerMain(void* param);
  void Run(EntryJob& job, MvsFile* reader, EntryDecoder& decoder);
  // `incoming`: the job being handed over, taken away too on a failure.
  bool RetireOldest(EntryJob* incoming = nullptr);
  // Returns once the job in `slot` has been worked on.
  void AwaitSlot(size_t slot);
  void Abandon(EntryJob* incoming = nullptr);
  void StopWorkers();

  MvsFile* reader_;
  EntryDecoder& decoder_;
  uint32_t compression_;
  bool withTimes_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::unique_ptr<EntryJob>> slots_;
  // Per slot: whether its job is running, finished, or awaited by the
  // install thread; the slot's auto-reset event is set only in the last
  // case, so a job finished before anyone asks costs no wait and no event.
  std::unique_ptr<std::atomic<int>[]> states_;
  std::vector<UniqueHandle> done_;
  UniqueHandle work_;  // semaphore: one release per sleeping worker woken
  CRITICAL_SECTION lock_;
  uint64_t head_ = 0;   // oldest job not taken back
  uint64_t tail_ = 0;   // next job to hand over (guarded by lock_)
  uint64_t taken_ = 0;  // next job for a worker (guarded by lock_)
  unsigned sleeping_ = 0;  // workers waiting on work_ (guarded by lock_)
  unsigned woken_ = 0;     // releases of work_ not yet taken by them (guarded by lock_)
  bool quit_ = false;      // guarded by lock_
  bool failed_ = false;
  std::atomic<bool> stop_{false};
};

// Removes the folders (listed outermost first) that are empty, innermost
// first.
void RemoveFolders(const std::vector<std::wstring>& folders);

// The workers the pass uses: one per processor this process may run on, at
// most EntryWorkers::kMaxWorkers; none on a single processor.
unsigned ExtractionWorkerCount();
// Test seam: the count to use instead (-1 restores the automatic one).
void SetExtractionWorkersForTesting(int count);

}  // namespace qrn
