// Holding log lines back so that work done side by side still logs in order.
//
// While a ScopedLogHold is active on a thread, every line that thread logs
// is kept, in order, in the hold it names instead of being written. Replay
// writes the kept lines, with their own module, source file and line, and
// empties the hold; a hold that is dropped without a replay writes nothing.
// Lines are timed when they are written.
#pragma once

#include <string>
#include <vector>

namespace qrn {

class LogHold {
 public:
  LogHold() = default;
  LogHold(const LogHold&) = delete;
  LogHold& operator=(const LogHold&) = delete;

  // Writes the kept lines to the log, oldest first, and forgets them. Lines
  // kept by a hold active on this thread are written, not kept again.
  void Replay();
  // Moves the lines of `other` to the end of this hold.
  void Take(LogHold& other);
  bool empty() const { return lines_.empty(); }

  // Called by the log for a line of a thread whose hold is active; false
  // (the line is written as usual) when no hold is active.
  static bool KeepIfHeld(int level, const char* module, const char* sourceFile, int line, const char* text);

 private:
  struct Line {
    int level;
    const char* module;  // literals of the LOG_ macros
    const char* sourceFile;
    int line;
    std::string text;
  };
  std::vector<Line> lines_;
};

// Makes `hold` the calling thread's active hold for its lifetime; the hold
// active before comes back afterwards.
class ScopedLogHold {
 public:
  explicit ScopedLogHold(LogHold* hold);
  ~ScopedLogHold();
  ScopedLogHold(const ScopedLogHold&) = delete;
  ScopedLogHold& operator=(const ScopedLogHold&) = delete;

 private:
  LogHold* previous_;
};

}  // namespace qrn
