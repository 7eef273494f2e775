#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qrn::test {
namespace fs = std::filesystem;

namespace {
std::atomic<int> g_counter{0};

long ProcessId() {
#if defined(_WIN32)
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}
}  // namespace

TempDir::TempDir() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("qrn-test-" + std::to_string(ProcessId()) + "-" + std::to_string(ticks) + "-" + std::to_string(g_counter++));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path.string();
}

void ExtendFile(const fs::path& path, uint64_t size) {
#if defined(_WIN32)
  HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot open " << path.string();
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  ASSERT_TRUE(ok) << "cannot extend " << path.string() << ", error code " << error;
#else
  fs::resize_file(path, size);
#endif
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned stream) {
  std::mt19937 random(stream);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

}  // namespace qrn::test
