// Splitting the install record InstallInfo.db into its lines. Portable code.
//
//   <path bytes, ANSI code page> 0x0A
//   <path bytes> 0x0A
//   ...
// Every line ends in one line feed; there is no header, no carriage return
// and no terminator. The record is read from disk, where anything may have
// happened to it, so every size is bounded and everything unexpected is
// counted and left out rather than guessed at.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qrn {

// The largest record read (bytes). A real one holds a few hundred lines of
// at most MAX_PATH characters; anything near this size is not a record.
inline constexpr size_t kMaxRecordBytes = 4 * 1024 * 1024;
// The longest line kept (bytes, line feed excluded): MAX_PATH characters of
// up to two bytes each in a double-byte code page.
inline constexpr size_t kMaxRecordLineBytes = 520;

struct RecordLines {
  std::vector<std::string> lines;  // in record order, without line feeds
  size_t emptyLines = 0;           // left out: nothing to remove
  size_t overlongLines = 0;        // left out: longer than kMaxRecordLineBytes
  size_t nulLines = 0;             // left out: hold a NUL byte (not a path)
  bool unterminatedTail = false;   // the last bytes had no line feed: left out
};

// Splits `bytes` at line feeds. A last line without its line feed is left
// out: the installer ends every line with one, so a missing one means the
// writing stopped part-way and the line may be a cut-off path that names
// something else (a folder, or another file's prefix).
RecordLines SplitRecordLines(const std::string& bytes);

}  // namespace qrn
