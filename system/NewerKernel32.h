// Kernel32 functions newer than Windows XP, resolved at their first use.
//
// The installer's start-up check has to run on XP to tell the user the
// system is too old, so the executable may import at load time only what
// XP's kernel32 exports (tests/app/oldest-system-imports.txt); a missing
// load-time import would stop it before its first line. Everything newer
// is looked up with GetProcAddress here. Past the start-up check the
// system is Vista or later and every one of them is there.
#pragma once

#include <windows.h>

namespace qrn {

// CompareStringOrdinal(a, aLength, b, -1, TRUE) == CSTR_EQUAL. Where the
// function is missing only ASCII letters are folded.
bool EqualOrdinalIgnoreCase(const wchar_t* a, int aLength, const wchar_t* b);

// SetFileInformationByHandle; FALSE with ERROR_PROC_NOT_FOUND where missing.
BOOL SetFileInformationByHandleLate(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size);

// IsWow64Process; FALSE with ERROR_PROC_NOT_FOUND where missing (before
// XP SP2, which runs no 64-bit Windows anyway).
BOOL IsWow64ProcessLate(HANDLE process, BOOL* wow64);

}  // namespace qrn
