#include "tools/qrnpack/PayloadTree.h"

#include <algorithm>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace qrn::pack {
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kReadOnly = 0x01;
constexpr uint32_t kArchiveBit = 0x20;

std::string Utf8(const fs::path& p) {
  const auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

#if defined(_WIN32)
bool ReadFacts(const fs::path& path, TreeItem* item) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  auto ft = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  item->attributes = data.dwFileAttributes & (kReadOnly | 0x02 | 0x04 | kArchiveBit | archive::kAttributeDirectory);
  item->times.creationTime = ft(data.ftCreationTime);
  item->times.lastWriteTime = ft(data.ftLastWriteTime);
  item->times.lastAccessTime = ft(data.ftLastWriteTime);
  return true;
}
#else
bool ReadFacts(const fs::path& path, TreeItem* item) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  // FILETIME counts 100 ns from 1601-01-01. The modification time stands for
  // all three times: the access time changes whenever the packer reads a
  // file, and a creation time is not kept by every file system, so using
  // them would make two packs of the same tree differ.
  const uint64_t ticks = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                         static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  item->times.creationTime = ticks;
  item->times.lastWriteTime = ticks;
  item->times.lastAccessTime = ticks;
  item->attributes = S_ISDIR(st.st_mode) ? archive::kAttributeDirectory : kArchiveBit;
  if ((st.st_mode & S_IWUSR) == 0) item->attributes |= kReadOnly;
  return true;
}
#endif

bool Walk(const fs::path& root, const fs::path& folder, std::vector<TreeItem>* items, std::string* error) {
  std::error_code ec;
  std::vector<fs::directory_entry> children;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) children.push_back(*it);
  if (ec) {
    *error = "cannot read folder " + Utf8(folder) + ": " + ec.message();
    return false;
  }
  std::sort(children.begin(), children.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return Utf8(a.path().filename()) < Utf8(b.path().filename());
  });
  for (const fs::directory_entry& child : children) {
    TreeItem item;
    item.path = child.path();
    std::string relative = Utf8(fs::relative(child.path(), root, ec));
    std::replace(relative.begin(), relative.end(), '/', '\\');
    item.relative = relative;
    const bool isFolder = child.is_directory(ec);
    if (!isFolder && !child.is_regular_file(ec)) {
      *error = "not a file or folder: " + Utf8(child.path());
      return false;
    }
    item.isFolder = isFolder;
    if (!ReadFacts(child.path(), &item)) {
      *error = "cannot read the attributes of " + Utf8(child.path());
      return false;
    }
    items->push_back(item);
    if (isFolder && !Walk(root, child.path(), items, error)) return false;
  }
  return true;
}

}  // namespace

bool WalkPayload(const fs::path& root, std::vector<TreeItem>* items, std::string* error) {
  items->clear();
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = "payload folder not found: " + Utf8(root);
    return false;
  }
  return Walk(root, root, items, error);
}

}  // namespace qrn::pack
