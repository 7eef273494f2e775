// The extraction pass as the installer runs it, on a given setup file:
//   extract_bench <setup.exe> <install-folder>
// Extracts every entry into the folder (which should not exist yet) and
// prints one line:
//   ok files=<n> bytes=<installed bytes> pass_ms=<ms> peak_ws=<bytes>
// peak_ws is the process's peak working set at the end of the pass.
// Exit code 0 when the pass succeeded. Timing of the whole process, for
// comparison with other installers, is the calling script's job.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "engine/InstallSettings.h"
#include "payload/ExtractArchive.h"

namespace {

// Counts the files and bytes under `folder`.
void CountTree(const std::wstring& folder, uint64_t* files, uint64_t* bytes) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CountTree(folder + L"\\" + name, files, bytes);
    } else {
      ++*files;
      *bytes += (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench <setup.exe> <install-folder>\n");
    return 2;
  }
  qrn::InstallSettings settings;
  settings.installFolder = argv[2];
  settings.progressTarget = 10;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const BOOL ok = qrn::ExtractArchiveSetup(settings, argv[1]);
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  if (!ok) {
    std::fprintf(stderr, "extract_bench: the extraction pass failed\n");
    return 1;
  }
  uint64_t files = 0, bytes = 0;
  CountTree(settings.installFolder, &files, &bytes);
  std::printf("ok files=%llu bytes=%llu pass_ms=%.1f peak_ws=%llu\n", static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(bytes),
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long long>(memory.PeakWorkingSetSize));
  return 0;
}
