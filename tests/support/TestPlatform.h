// What a Windows test runs on. The same test programs are built for i686
// and x86_64 and run in a 32-bit prefix (32-bit Windows) and a 64-bit one
// (64-bit Windows, where a 32-bit program runs under WoW64); each test
// states what it expects of the word size and the Windows it runs on.
#pragma once

#include <windows.h>

namespace qrn::test {

// True on 64-bit Windows: a 64-bit process, or a 32-bit one under WoW64.
inline bool OnWindows64() {
#if defined(_WIN64)
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

// True in a 32-bit process under WoW64 (the shipped installer on 64-bit
// Windows: file-system redirection and the registry's 32-bit view are real).
inline bool UnderWow64() {
#if defined(_WIN64)
  return false;
#else
  return OnWindows64();
#endif
}

// The file-name suffix of the stand-ins (drivers, shell extensions) built
// with this test program: "-x64" in the 64-bit build, as in the payload.
#if defined(_WIN64)
#define QRN_BUILD_SUFFIX L"-x64"
#else
#define QRN_BUILD_SUFFIX L""
#endif

}  // namespace qrn::test
