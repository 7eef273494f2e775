#include "log/LogHold.h"

#include <new>

#include "log/LogModule.h"

namespace qrn {
namespace {
thread_local LogHold* t_activeHold = nullptr;
}  // namespace

void LogHold::Replay() {
  std::vector<Line> lines;
  lines.swap(lines_);
  CLogModule* log = CLogModule::GetInstance();
  if (log == nullptr) return;
  for (const Line& l : lines) log->AddLog(l.level, l.module, l.sourceFile, l.line, l.text.c_str());
}

void LogHold::Take(LogHold& other) {
  if (&other == this) return;
  if (lines_.empty()) {
    lines_.swap(other.lines_);
    return;
  }
  for (Line& l : other.lines_) lines_.push_back(std::move(l));
  other.lines_.clear();
}

bool LogHold::KeepIfHeld(int level, const char* module, const char* sourceFile, int line, const char* text) {
  LogHold* hold = t_activeHold;
  if (hold == nullptr) return false;
  try {
    hold->lines_.push_back(Line{level, module, sourceFile, line, text});
  } catch (const std::bad_alloc&) {
    // Out of memory: the line is written now, out of order, rather than lost.
    return false;
  }
  return true;
}

ScopedLogHold::ScopedLogHold(LogHold* hold) : previous_(t_activeHold) { t_activeHold = hold; }

ScopedLogHold::~ScopedLogHold() { t_activeHold = previous_; }

}  // namespace qrn
