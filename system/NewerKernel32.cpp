#include "system/NewerKernel32.h"

#include <atomic>

namespace qrn {
namespace {

// The address of a kernel32 function, looked up once (a race only looks it
// up twice). kernel32 is never unloaded from a process.
template <typename Fn>
Fn Kernel32Function(std::atomic<void*>& cache, const char* name) {
  static void* const kMissing = reinterpret_cast<void*>(1);
  void* proc = cache.load(std::memory_order_acquire);
  if (proc == nullptr) {
    proc = reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name));
    if (proc == nullptr) proc = kMissing;
    cache.store(proc, std::memory_order_release);
  }
  // Through void(*)() keeps -Wcast-function-type quiet about the signature.
  return proc == kMissing ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

std::atomic<void*> g_compareStringOrdinal{nullptr};
std::atomic<void*> g_setFileInformationByHandle{nullptr};
std::atomic<void*> g_isWow64Process{nullptr};
std::atomic<void*> g_getTickCount64{nullptr};

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

bool EqualOrdinalIgnoreCase(const wchar_t* a, int aLength, const wchar_t* b) {
  using Fn = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
  if (auto compare = Kernel32Function<Fn>(g_compareStringOrdinal, "CompareStringOrdinal")) {
    return compare(a, aLength, b, -1, TRUE) == CSTR_EQUAL;
  }
  int i = 0;
  for (; i < aLength && b[i] != L'\0'; ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return i == aLength && b[i] == L'\0';
}

BOOL SetFileInformationByHandleLate(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size) {
  using Fn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  if (auto set = Kernel32Function<Fn>(g_setFileInformationByHandle, "SetFileInformationByHandle")) {
    return set(file, infoClass, info, size);
  }
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

BOOL IsWow64ProcessLate(HANDLE process, BOOL* wow64) {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (auto query = Kernel32Function<Fn>(g_isWow64Process, "IsWow64Process")) return query(process, wow64);
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return FALSE;
}

}  // namespace qrn

// GetTickCount64 itself, and its import pointer, defined here. The MinGW
// threads library (linked statically) calls it for its timed waits through
// the pointer __imp_GetTickCount64, and a program's own calls go to the
// function; both come from this object, which every program linking the
// functions above takes before the kernel32 import library is searched. So
// no program of ours imports GetTickCount64 at load time: it gets the real
// function where it exists and the 32-bit tick count on XP, where only the
// start-up check's box runs.
extern "C" ULONGLONG WINAPI GetTickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  if (auto ticks = qrn::Kernel32Function<Fn>(qrn::g_getTickCount64, "GetTickCount64")) return ticks();
  return ::GetTickCount();
}

#if defined(__i386__)
extern "C" ULONGLONG(WINAPI* const qrn_imp_GetTickCount64)() __asm__("__imp__GetTickCount64@0");
#else
extern "C" ULONGLONG(WINAPI* const qrn_imp_GetTickCount64)() __asm__("__imp_GetTickCount64");
#endif
extern "C" ULONGLONG(WINAPI* const qrn_imp_GetTickCount64)() = GetTickCount64;
