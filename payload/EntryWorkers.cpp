#include "payload/EntryWorkers.h"

#include <process.h>

#include <new>

#include "payload/UnpackEntry.h"

namespace qrn {

namespace {
int g_workersForTesting = -1;

// A slot's state.
constexpr int kRunning = 0;   // handed over, not finished
constexpr int kFinished = 1;  // worked on; nobody waits
constexpr int kAwaited = 2;   // the install thread waits on the slot's event
}  // namespace

unsigned ExtractionWorkerCount() {
  if (g_workersForTesting >= 0) {
    return static_cast<unsigned>(g_workersForTesting) < EntryWorkers::kMaxWorkers
               ? static_cast<unsigned>(g_workersForTesting)
               : EntryWorkers::kMaxWorkers;
  }
  DWORD_PTR processMask = 0, systemMask = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) return 0;
  unsigned processors = 0;
  for (; processMask != 0; processMask &= processMask - 1) ++processors;
  if (processors <= 1) return 0;
  return processors < EntryWorkers::kMaxWorkers ? processors : EntryWorkers::kMaxWorkers;
}

void SetExtractionWorkersForTesting(int count) { g_workersForTesting = count; }

EntryWorkers::EntryWorkers(MvsFile* reader, EntryDecoder& decoder, uint32_t compression, bool withTimes)
    : reader_(reader), decoder_(decoder), compression_(compression), withTimes_(withTimes) {
  InitializeCriticalSection(&lock_);
}

EntryWorkers::~EntryWorkers() {
  if (head_ != tail_) Abandon();
  StopWorkers();
  DeleteCriticalSection(&lock_);
}

void EntryWorkers::Start(const std::wstring& archivePath, unsigned count) {
  if (count == 0 || !workers_.empty()) return;
  const size_t slots = size_t{count} * kSlotsPerWorker;
  work_.reset(CreateSemaphoreW(nullptr, 0, static_cast<LONG>(count), nullptr));
  if (!work_) return;
  slots_.resize(slots);
  states_.reset(new (std::nothrow) std::atomic<int>[slots]());
  if (!states_) return;
  done_.resize(slots);
  for (UniqueHandle& event : done_) {
    event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event) return;
  }
  for (unsigned i = 0; i < count; ++i) {
    std::unique_ptr<Worker> worker(new (std::nothrow) Worker);
    if (!worker) break;
    worker->owner = this;
    // Opened here, on the install thread, as the first reader was.
    MvsFile* reader = MvsOpen(archivePath.c_str());
    if (reader == kMvsInvalid) break;
    worker->reader.reset(reader);
    uint8_t header[archive::kHeaderSize];
    if (!MvsReadHeader(reader, header) || !worker->decoder.Init()) break;
    worker->thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WorkerMain, worker.get(), 0, nullptr)));
    if (!worker->thread) break;
    workers_.push_back(std::move(worker));
  }
}

unsigned __stdcall EntryWorkers::WorkerMain(void* param) {
  Worker& worker = *static_cast<Worker*>(param);
  EntryWorkers& owner = *worker.owner;
  for (;;) {
    EnterCriticalSection(&owner.lock_);
    // A worker sleeps only when nothing is waiting to be taken: one that
    // keeps up takes the next job without a wait.
    while (owner.taken_ == owner.tail_ && !owner.quit_) {
      ++owner.sleeping_;
      LeaveCriticalSection(&owner.lock_);
      WaitForSingleObject(owner.work_.get(), INFINITE);
      EnterCriticalSection(&owner.lock_);
      --owner.sleeping_;
      --owner.woken_;
    }
    if (owner.taken_ == owner.tail_) {
      // Nothing to take and the owner is ending the workers.
      LeaveCriticalSection(&owner.lock_);
      break;
    }
    const uint64_t index = owner.taken_++;
    LeaveCriticalSection(&owner.lock_);
    const size_t slot = static_cast<size_t>(index % owner.slots_.size());
    owner.Run(*owner.slots_[slot], worker.reader.get(), worker.decoder);
    if (owner.states_[slot].exchange(kFinished) == kAwaited) SetEvent(owner.done_[slot].get());
  }
  return 0;
}

void EntryWorkers::Run(EntryJob& job, MvsFile* reader, EntryDecoder& decoder) {
  {
    ScopedLogHold hold(&job.lines);
    job.ok = !stop_.load() && UnpackEntry(reader, decoder, compression_, *job.entry, job.file.get(), job.destination,
                                          withTimes_, &stop_);
  }
  job.file.reset();
}

bool EntryWorkers::Submit(std::unique_ptr<EntryJob> job) {
  if (failed_) {
    Abandon(job.get());
    return false;
  }
  if (workers_.empty()) {
    Run(*job, reader_, decoder_);
    job->lines.Replay();
    if (!job->ok) failed_ = true;
    return job->ok;
  }
  if (tail_ - head_ == slots_.size() && !RetireOldest(job.get())) return false;
  const size_t slot = static_cast<size_t>(tail_ % slots_.size());
  states_[slot].store(kRunning);
  slots_[slot] = std::move(job);
  EnterCriticalSection(&lock_);
  ++tail_;
  const bool wake = sleeping_ > woken_;
  if (wake) ++woken_;
  LeaveCriticalSection(&lock_);
  if (wake) ReleaseSemaphore(work_.get(), 1, nullptr);
  return true;
}

bool EntryWorkers::Drain() {
  if (failed_) return false;
  while (head_ != tail_) {
    if (!RetireOldest()) return false;
  }
  return true;
}

void EntryWorkers::AwaitSlot(size_t slot) {
  int expected = kRunning;
  if (states_[slot].compare_exchange_strong(expected, kAwaited)) WaitForSingleObject(done_[slot].get(), INFINITE);
}

bool EntryWorkers::RetireOldest(EntryJob* incoming) {
  const size_t slot = static_cast<size_t>(head_ % slots_.size());
  AwaitSlot(slot);
  std::unique_ptr<EntryJob> job = std::move(slots_[slot]);
  ++head_;
  job->lines.Replay();
  if (job->ok) return true;
  Abandon(incoming);
  return false;
}

void EntryWorkers::Abandon(EntryJob* incoming) {
  failed_ = true;
  stop_.store(true);
  std::vector<std::wstring> folders;
  // Working alone the pass would not have made the job's file or folders.
  const auto takeAway = [&folders](EntryJob& job) {
    job.file.reset();
    if (job.created) DeleteFileW(job.destination.c_str());
    folders.insert(folders.end(), job.folders.begin(), job.folders.end());
  };
  while (head_ != tail_) {
    const size_t slot = static_cast<size_t>(head_ % slots_.size());
    AwaitSlot(slot);
    std::unique_ptr<EntryJob> job = std::move(slots_[slot]);
    ++head_;
    takeAway(*job);
  }
  // The job being handed over when the failure came back.
  if (incoming != nullptr) takeAway(*incoming);
  RemoveFolders(folders);
}

void RemoveFolders(const std::vector<std::wstring>& folders) {
  // Innermost first; a folder that holds anything stays.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryW(it->c_str());
}

void EntryWorkers::StopWorkers() {
  if (workers_.empty()) return;
  EnterCriticalSection(&lock_);
  quit_ = true;
  const unsigned wake = sleeping_ - woken_;
  woken_ = sleeping_;
  LeaveCriticalSection(&lock_);
  if (wake > 0) ReleaseSemaphore(work_.get(), static_cast<LONG>(wake), nullptr);
  for (const auto& worker : workers_) WaitForSingleObject(worker->thread.get(), INFINITE);
  workers_.clear();
}

}  // namespace qrn
