// Keeping planted DLLs out of the elevated installer.
//
// A setup is typically started from a downloads folder, where anyone can
// drop a DLL named like one Windows loads on demand (version.dll,
// uxtheme.dll, ...); by the default search order the application's folder
// comes first, and such a DLL would run with administrator rights. So the
// first thing the installer does is restrict the search to the system
// folder. What is loaded before that, the executable's load-time imports and
// everything they import in turn, escapes the restriction: the executable
// imports only kernel32 and msvcrt at load time (KnownDLLs, never searched
// for, whose own imports are system DLLs everywhere). user32, gdi32,
// advapi32, shell32, shlwapi and ole32 are delay-loaded (qrn_system_dlls in
// cmake/QrnTargets.cmake) and so load at their first call, after the
// restriction; on Windows they are KnownDLLs too, but Wine's user32, for
// one, imports version.dll, which a static import would then fetch from the
// setup's folder. comctl32 is loaded here at run time (the manifest's
// Common Controls 6 binding still applies: activation contexts take
// precedence over the search).
#pragma once

#include <windows.h>

namespace qrn {

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has
// it (Windows 8 and later, or Vista/7 with KB2533623); elsewhere at least
// the current folder is taken out of the search (SetDllDirectoryW(L"")).
// Returns true when the search is restricted to the system folder. Must run
// before any call into a delay-loaded DLL: it uses kernel32 alone.
bool RestrictDllSearch();

// InitCommonControlsEx with the given class set, from comctl32 loaded at run
// time. false when comctl32 or its entry cannot be loaded.
bool InitCommonControlsAtRunTime(DWORD classes);

}  // namespace qrn
