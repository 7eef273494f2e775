// Unpacking one archive entry into its open file, as the extraction pass
// does it on whichever thread works on the entry: the data through the
// decoder, then the archive's times and attributes on the same handle.
// Windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "payload/ArchiveIndex.h"
#include "payload/EntryDecoder.h"
#include "payload/MvsReader.h"

namespace qrn {

// Writes the entry's data into `file`. A failure is logged
// ("extracting file failed, path:<destination>, entry:<name>: <detail>") and
// gives false; the file keeps what was written. Bytes the file does not need
// are logged as a warning. With `withTimes` the file then gets the entry's
// times and attributes (a failure there is a warning only). When `stop` is
// set while the data is written, the remaining writes fail at once.
bool UnpackEntry(MvsFile* reader, EntryDecoder& decoder, uint32_t compression, const archive::IndexEntry& entry,
                 HANDLE file, const std::wstring& destination, bool withTimes, const std::atomic<bool>* stop = nullptr);

// The destination in the log's 8-bit text.
std::string AnsiPath(const std::wstring& path);

}  // namespace qrn
