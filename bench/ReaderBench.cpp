// Reader throughput: packs a 50 MB stored, AES-256 enciphered entry into a
// file and reads the whole stream back through the reader several times.
// Prints MB/s (best and median of the runs) and whether the processor's AES
// instructions were used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "crypto/Aes.h"
#include "payload/ArchiveWriter.h"
#include "payload/MvsReader.h"

using namespace qrn;
using namespace qrn::archive;

int main(int argc, char** argv) {
  const size_t size = 50u * 1000 * 1000;
  const bool tables = argc > 1 && std::string(argv[1]) == "--tables";
  if (tables) Aes::SetHardwareForTesting(false);
  std::vector<uint8_t> data(size);
  std::mt19937 random(1);
  for (auto& b : data) b = static_cast<uint8_t>(random());

  std::vector<uint8_t> stub(4096, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  MemorySink sink;
  sink.Write(stub.data(), stub.size());
  ArchiveOptions options;
  options.compression = kStored;
  ArchiveWriter writer(sink, static_cast<uint32_t>(stub.size()), options);
  if (!writer.AddFile("main\\Program\\big.bin", data.data(), data.size(), 0x20, MvsFileTimes{}) || !writer.Finish()) {
    std::fprintf(stderr, "pack failed: %s\n", writer.error().c_str());
    return 1;
  }
  const auto path = std::filesystem::temp_directory_path() / "qrn-reader-bench.exe";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(sink.bytes().data()), static_cast<std::streamsize>(sink.bytes().size()));
  }
  std::vector<double> rates;
  std::vector<uint8_t> buffer(64 * 1024);
  for (int run = 0; run < 7; ++run) {
    MvsFile* file = MvsOpen(path.c_str());
    if (file == kMvsInvalid) return 1;
    uint8_t header[kHeaderSize];
    MvsReadHeader(file, header);
    const auto start = std::chrono::steady_clock::now();
    size_t total = 0;
    while (total < size) {
      const uint32_t n = static_cast<uint32_t>(std::min(buffer.size(), size - total));
      if (MvsRead(file, buffer.data(), n) != n) return 1;
      total += n;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    MvsClose(file);
    if (buffer[0] != data[total - buffer.size()] && size % buffer.size() == 0) return 1;
    rates.push_back(size / 1e6 / seconds);
  }
  std::filesystem::remove(path);
  std::sort(rates.begin(), rates.end());
  std::printf("reader: %.0f MB/s median, %.0f MB/s best over 50 MB (%s)\n", rates[rates.size() / 2], rates.back(),
              Aes::UsesHardware() ? "AES instructions" : "tables");
  return 0;
}
