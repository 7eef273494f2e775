// Walks a payload folder: every file and folder below it, in a fixed order
// (pre-order, names sorted byte-wise), with attributes and times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/ArchiveFormat.h"

namespace qrn::pack {

struct TreeItem {
  std::filesystem::path path;  // on disk
  std::string relative;        // UTF-8, backslash-separated, relative to the payload folder
  bool isFolder = false;
  uint32_t attributes = 0;  // Windows attribute bits
  archive::MvsFileTimes times{};
};

// False with `error` set when the folder cannot be walked.
bool WalkPayload(const std::filesystem::path& root, std::vector<TreeItem>* items, std::string* error);

}  // namespace qrn::pack
