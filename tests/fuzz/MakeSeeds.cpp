// Makes the seed corpora of the fuzz targets from a payload folder, packed
// by the packer's own code (PayloadTree, NameCodec, ArchiveWriter) in every
// combination of compression, cipher and format the reader takes:
//
//   fuzz_seeds <payload-dir> <out-dir>
//
// writes <out-dir>/<target>/<seed> for each target (fuzz_<target>):
//   archive_locate   setup files; also found only by the trailer, with bytes
//                    after the trailer (as a signed file has), and cut short
//   archive_index    plain setups (FuzzSupport.h) of the same archives
//   entry_decoder    the same, and one with an entry of 1 MiB and 17 bytes
//                    (more than one output chunk) in a few hundred packed bytes
//   archive_routing  every payload name for both word sizes
//   report_answer    a few answers, as sent and as deciphered
//   record_lines     the install record of the payload
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/Aes.h"
#include "payload/ArchiveFormat.h"
#include "payload/ArchiveWriter.h"
#include "report/Base64.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/qrnpack/NameCodec.h"
#include "tools/qrnpack/PayloadTree.h"

namespace fs = std::filesystem;
using namespace qrn;
using namespace qrn::archive;

namespace {

struct Named {
  std::string name;  // code page 936, as stored
  std::vector<uint8_t> data;
  bool folder;
  uint32_t attributes;
  MvsFileTimes times;
};

bool ReadFile(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Pack(const std::vector<Named>& items, const ArchiveOptions& options) {
  MemorySink sink;
  std::vector<uint8_t> stub(fuzz::kStubSize, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  sink.Write(stub.data(), stub.size());
  ArchiveWriter writer(sink, fuzz::kStubSize, options);
  for (const Named& item : items) {
    const bool ok = item.folder
                        ? writer.AddFolder(item.name, item.attributes, item.times)
                        : writer.AddFile(item.name, item.data.data(), item.data.size(), item.attributes, item.times);
    if (!ok) break;
  }
  if (!writer.Finish()) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", writer.error().c_str());
    return {};
  }
  return sink.bytes();
}

// UTF-8 to UTF-16LE bytes (the payload's names are valid UTF-8).
std::vector<uint8_t> Utf16le(const std::string& utf8) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t unit = c;
    size_t length = 1;
    if (c >= 0xE0) {
      unit = ((c & 0x0Fu) << 12) | ((utf8[i + 1] & 0x3Fu) << 6) | (utf8[i + 2] & 0x3Fu);
      length = 3;
    } else if (c >= 0xC0) {
      unit = ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3Fu);
      length = 2;
    }
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
    i += length;
  }
  return out;
}

// An answer as the report server sends it: PKCS#7, AES-256-ECB, Base64.
std::vector<uint8_t> Padded(const std::string& text) {
  std::vector<uint8_t> bytes = Bytes(text);
  const size_t pad = 16 - bytes.size() % 16;
  bytes.insert(bytes.end(), pad, static_cast<uint8_t>(pad));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds <payload-dir> <out-dir>\n");
    return 2;
  }
  const fs::path out = argv[2];
  std::vector<pack::TreeItem> tree;
  std::string error;
  if (!pack::WalkPayload(argv[1], &tree, &error)) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.c_str());
    return 1;
  }
  std::vector<Named> items;
  std::vector<std::string> utf8Names;
  for (const pack::TreeItem& t : tree) {
    Named item{{}, {}, t.isFolder, t.attributes, t.times};
    if (!pack::Utf8ToCp936(t.relative, &item.name) || (!t.isFolder && !ReadFile(t.path, &item.data))) {
      std::fprintf(stderr, "fuzz_seeds: cannot take %s\n", t.relative.c_str());
      return 1;
    }
    items.push_back(item);
    if (!t.isFolder) utf8Names.push_back(t.relative);
  }

  for (const char* target :
       {"archive_locate", "archive_index", "entry_decoder", "archive_routing", "report_answer", "record_lines"}) {
    std::error_code ec;
    fs::create_directories(out / target, ec);
    if (ec) {
      std::fprintf(stderr, "fuzz_seeds: cannot make %s\n", (out / target).c_str());
      return 1;
    }
  }
  bool ok = true;
  auto put = [&](const char* target, const std::string& name, const std::vector<uint8_t>& bytes) {
    ok = WriteFile(out / target / name, bytes) && ok;
  };

  // The archives: compression x cipher x format.
  for (const uint32_t compression : {kStored, kZlib}) {
    for (const uint32_t cipher : {kCipherNone, kCipherAes256}) {
      for (const uint8_t minor : {uint8_t{3}, uint8_t{2}}) {
        ArchiveOptions options;
        options.compression = compression;
        options.cipher = cipher;
        options.versionMinor = minor;
        const std::string name = std::string(compression == kStored ? "stored" : "zlib") +
                                 (cipher == kCipherNone ? "-plain" : "-aes") + "-0." + std::to_string(minor);
        const std::vector<uint8_t> setup = Pack(items, options);
        const std::vector<uint8_t> plain = fuzz::SetupToPlain(setup);
        if (setup.empty() || plain.empty()) return 1;
        put("archive_locate", name, setup);
        put("archive_index", name, plain);
        put("entry_decoder", name, plain);
        if (minor != 3) continue;
        std::vector<uint8_t> trailerOnly = setup;  // no DOS field
        Put32(trailerOnly.data() + kDosFieldOffset, 0);
        put("archive_locate", name + "-trailer-only", trailerOnly);
        std::vector<uint8_t> signedFile = setup;  // a certificate after the trailer
        signedFile.insert(signedFile.end(), 40, 0x5A);
        put("archive_locate", name + "-signed", signedFile);
        put("archive_locate", name + "-cut", std::vector<uint8_t>(setup.begin(), setup.begin() + setup.size() / 2));
      }
    }
  }
  std::vector<Named> big = items;
  big.push_back({"main\\Program\\zeros.bin", std::vector<uint8_t>(1024 * 1024 + 17, 0), false, 0x20, {}});
  for (const uint32_t cipher : {kCipherNone, kCipherAes256}) {
    ArchiveOptions options;
    options.cipher = cipher;
    const std::vector<uint8_t> plain = fuzz::SetupToPlain(Pack(big, options));
    if (plain.empty()) return 1;
    put("entry_decoder", cipher == kCipherNone ? "zlib-plain-1mib" : "zlib-aes-1mib", plain);
  }

  // Names as the installer has them, for 32-bit (flags 0) and 64-bit (1) Windows.
  for (size_t i = 0; i < utf8Names.size(); ++i) {
    for (const uint8_t flags : {uint8_t{0}, uint8_t{1}}) {
      std::vector<uint8_t> seed{flags};
      const std::vector<uint8_t> units = Utf16le(utf8Names[i]);
      seed.insert(seed.end(), units.begin(), units.end());
      put("archive_routing", "name" + std::to_string(i) + "-" + std::to_string(flags), seed);
    }
  }

  // Answers: as sent (even mode byte) and deciphered (odd).
  const std::string secret = "5c0e7a21b9d84f36a1e3c7092b6d4f58";
  Aes aes;
  aes.SetKey(reinterpret_cast<const uint8_t*>(secret.data()), secret.size());
  const std::string answers[] = {"ok", "", "0123456789abcdef", std::string(2047, 'x')};
  for (size_t i = 0; i < sizeof answers / sizeof answers[0]; ++i) {
    std::vector<uint8_t> blocks = Padded(answers[i]);
    std::vector<uint8_t> plainSeed{1};
    plainSeed.insert(plainSeed.end(), blocks.begin(), blocks.end());
    put("report_answer", "plain" + std::to_string(i), plainSeed);
    aes.EncryptBlocks(blocks.data(), blocks.size() / 16);
    std::vector<uint8_t> sent{0};
    const std::vector<uint8_t> text = Bytes(Base64Encode(blocks.data(), blocks.size()));
    sent.insert(sent.end(), text.begin(), text.end());
    put("report_answer", "sent" + std::to_string(i), sent);
  }

  // The record the installer would write for this payload (ANSI, one line
  // feed after each path).
  std::string record;
  for (const Named& item : items) {
    if (item.folder) continue;
    const size_t tag = item.name.find('\\');
    const size_t second = tag == std::string::npos ? tag : item.name.find('\\', tag + 1);
    if (second == std::string::npos) continue;
    record += "D:\\Apps\\Quorrin" + item.name.substr(second) + "\n";
  }
  put("record_lines", "record", Bytes(record));
  put("record_lines", "record-cut", Bytes(record.substr(0, record.size() - 5)));

  if (!ok) {
    std::fprintf(stderr, "fuzz_seeds: cannot write the seeds into %s\n", out.c_str());
    return 1;
  }
  return 0;
}
