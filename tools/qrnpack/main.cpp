// qrnpack: builds the setup executable from the installer stub and a payload
// folder, and lists or verifies the archive of a setup.
//
//   qrnpack pack [options] <stub.exe> <payload-dir> <out.exe>
//       --store        keep entry data uncompressed (compression 1)
//       --no-cipher    leave the stream in plain (cipher 1)
//       --format M.N   archive format version (default 0.3; below 0.3 no times table)
//   qrnpack list <setup.exe>
//   qrnpack verify <setup.exe>
//
// Exit codes: 0 success, 1 failure (a message on stderr), 2 usage.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "payload/ArchiveIndex.h"
#include "payload/ArchiveWriter.h"
#include "payload/MvsReader.h"
#include "tools/qrnpack/NameCodec.h"
#include "tools/qrnpack/PayloadTree.h"

namespace fs = std::filesystem;
using namespace qrn;
using namespace qrn::archive;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "qrnpack: %s\n", message.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qrnpack pack [--store] [--no-cipher] [--format M.N] <stub.exe> <payload-dir> <out.exe>\n"
               "       qrnpack list <setup.exe>\n"
               "       qrnpack verify <setup.exe>\n");
  return 2;
}

std::string PathText(const fs::path& p) {
  const auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  bytes->resize(static_cast<size_t>(size));
  return size == 0 || static_cast<bool>(in.read(reinterpret_cast<char*>(bytes->data()), size));
}

class FileSink final : public ArchiveSink {
 public:
  explicit FileSink(const fs::path& path)
      : out_(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc) {}
  bool ok() const { return static_cast<bool>(out_); }
  bool Write(const void* data, size_t size) override {
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out_);
  }
  bool Patch(uint64_t offset, const void* data, size_t size) override {
    const std::streampos end = out_.tellp();
    out_.seekp(static_cast<std::streamoff>(offset));
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out_.seekp(end);
    return static_cast<bool>(out_);
  }
  bool Close() {
    out_.close();
    return !out_.fail();
  }

 private:
  std::fstream out_;
};

int Pack(int argc, char** argv) {
  ArchiveOptions options;
  std::vector<std::string> positional;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--store") {
      options.compression = kStored;
    } else if (arg == "--no-cipher") {
      options.cipher = kCipherNone;
    } else if (arg == "--format" && i + 1 < argc) {
      unsigned major = 0, minor = 0;
      if (std::sscanf(argv[++i], "%u.%u", &major, &minor) != 2 || major > 255 || minor > 255) return Usage();
      options.versionMajor = static_cast<uint8_t>(major);
      options.versionMinor = static_cast<uint8_t>(minor);
    } else if (arg.rfind("--", 0) == 0) {
      return Usage();
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) return Usage();
  const fs::path stubPath = fs::u8path(positional[0]);
  const fs::path payloadPath = fs::u8path(positional[1]);
  const fs::path outPath = fs::u8path(positional[2]);

  std::vector<uint8_t> stub;
  if (!ReadWholeFile(stubPath, &stub)) return Fail("cannot read the stub " + PathText(stubPath));
  if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z')
    return Fail("the stub is not an executable: " + PathText(stubPath));
  // The reader reaches the header with a signed 32-bit move.
  if (stub.size() >= (uint64_t{1} << 31)) return Fail("the stub is 2 GiB or larger");

  std::vector<pack::TreeItem> items;
  std::string error;
  if (!pack::WalkPayload(payloadPath, &items, &error)) return Fail(error);
  // What the format cannot hold is refused before anything is packed.
  if (items.size() > kMaxEntries) {
    return Fail(std::to_string(items.size()) + " files and folders: the archive index holds at most " +
                std::to_string(kMaxEntries));
  }
  for (const pack::TreeItem& item : items) {
    std::error_code ec;
    if (!item.isFolder && fs::file_size(item.path, ec) >= kMaxEntryData && !ec) {
      return Fail("file of 2 GiB or more is not supported: " + PathText(item.path));
    }
  }

  const fs::path tmpPath = fs::path(outPath).concat(".tmp");
  FileSink sink(tmpPath);
  if (!sink.ok() || !sink.Write(stub.data(), stub.size())) return Fail("cannot write " + PathText(tmpPath));
  ArchiveWriter writer(sink, static_cast<uint32_t>(stub.size()), options);
  std::vector<uint8_t> data;
  uint64_t files = 0, bytes = 0;
  for (const pack::TreeItem& item : items) {
    std::string name;
    if (!pack::Utf8ToCp936(item.relative, &name)) {
      std::error_code ec;
      fs::remove(tmpPath, ec);
      return Fail("name cannot be written in code page 936: " + item.relative);
    }
    bool ok;
    if (item.isFolder) {
      ok = writer.AddFolder(name, item.attributes, item.times);
    } else if (!ReadWholeFile(item.path, &data)) {
      std::error_code ec;
      fs::remove(tmpPath, ec);
      return Fail("cannot read " + PathText(item.path));
    } else {
      ok = writer.AddFile(name, data.data(), data.size(), item.attributes, item.times);
      ++files;
      bytes += data.size();
    }
    if (!ok) break;
  }
  const bool written = writer.Finish() && sink.Close();
  std::error_code ec;
  if (!written) {
    fs::remove(tmpPath, ec);
    return Fail(writer.error().empty() ? "cannot write " + PathText(tmpPath) : writer.error());
  }
  fs::rename(tmpPath, outPath, ec);
  if (ec) return Fail("cannot rename " + PathText(tmpPath) + ": " + ec.message());
  std::printf("packed %" PRIu64 " files (%" PRIu64 " bytes) and %zu folders into %s\n", files, bytes,
              items.size() - static_cast<size_t>(files), PathText(outPath).c_str());
  return 0;
}

// Opens a setup and loads its index; on failure prints why and returns false.
bool OpenSetup(const fs::path& path, UniqueMvsFile* reader, ArchiveIndex* index) {
  MvsFile* file = MvsOpen(path.c_str());
  if (file == kMvsInvalid) {
    Fail("no payload archive found in " + PathText(path) + " (or it cannot be read)");
    return false;
  }
  reader->reset(file);
  uint8_t bytes[kHeaderSize];
  if (!MvsReadHeader(file, bytes)) {
    Fail("cannot read the archive header");
    return false;
  }
  std::string detail;
  if (LoadArchiveIndex(file, DecodeHeader(bytes), index, &detail) != IndexStatus::kOk) {
    Fail("damaged archive: " + pack::Cp936ToUtf8(detail));
    return false;
  }
  return true;
}

// FILETIME to "YYYY-MM-DD hh:mm:ss" UTC (days-from-civil inverse, Howard Hinnant's algorithm).
std::string FormatTime(uint64_t filetime) {
  if (filetime < 116444736000000000ull) return "-";
  const int64_t seconds = static_cast<int64_t>(filetime / 10000000ull) - 11644473600ll;
  const int64_t days = seconds / 86400;
  const int64_t rest = seconds % 86400;
  const int64_t z = days + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

int List(const fs::path& path) {
  UniqueMvsFile reader;
  ArchiveIndex index;
  if (!OpenSetup(path, &reader, &index)) return 1;
  const MvsHeader& h = index.header;
  std::printf("archive at %u, format %u.%u, compression %u, cipher %u, %zu entries\n", MvsArchiveStart(reader.get()),
              h.versionMajor, h.versionMinor, h.compression, h.cipher, index.entries.size());
  std::printf("%-10s %12s %12s  %-19s  %-19s  %s\n", "attributes", "packed", "size", "created (UTC)", "modified (UTC)",
              "name");
  for (const IndexEntry& e : index.entries) {
    // Only a sealed entry says its unpacked size (another builder's reserved
    // bytes mean nothing).
    const std::string size = e.IsFolder() ? "-" : e.sealed ? std::to_string(e.UnpackedSize()) : "?";
    std::printf("0x%08x %12" PRIu64 " %12s  %-19s  %-19s  %s%s\n", e.entry.attributes, e.entry.packedSize, size.c_str(),
                FormatTime(e.times.creationTime).c_str(), FormatTime(e.times.lastWriteTime).c_str(),
                pack::Cp936ToUtf8(e.name).c_str(), e.IsFolder() ? "\\" : "");
  }
  return 0;
}

int Verify(const fs::path& path) {
  UniqueMvsFile reader;
  ArchiveIndex index;
  if (!OpenSetup(path, &reader, &index)) return 1;
  std::string detail;
  std::vector<std::string> warnings;
  if (!VerifyArchiveData(reader.get(), index, &detail, &warnings)) {
    return Fail("verify failed: " + pack::Cp936ToUtf8(detail));
  }
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "qrnpack: warning: %s\n", pack::Cp936ToUtf8(warning).c_str());
  }
  std::printf("ok: %zu entries verified\n", index.entries.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "pack") return Pack(argc - 2, argv + 2);
  if (argc != 3) return Usage();
  const fs::path setup = fs::u8path(argv[2]);
  if (command == "list") return List(setup);
  if (command == "verify") return Verify(setup);
  return Usage();
}
