// Keeping planted DLLs out of the elevated installer.
//
// A setup is typically started from a downloads folder, where anyone can
// drop a DLL named like one Windows loads on demand (version.dll,
// uxtheme.dll, ...); by the default search order the application's folder
// comes first, and such a DLL would run with administrator rights. So the
// first thing the installer does is restrict the search to the system
// folder, and it imports at load time only DLLs of the system's KnownDLLs
// list (kernel32, user32, gdi32, advapi32, shell32, shlwapi, ole32, msvcrt),
// which are never searched for. comctl32 is not a KnownDLL; it is loaded
// here, after the restriction (the manifest's Common Controls 6 binding
// still applies, as activation contexts take precedence over the search).
#pragma once

#include <windows.h>

namespace qrn {

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has
// it (Windows 8 and later, or Vista/7 with KB2533623); elsewhere at least
// the current folder is taken out of the search (SetDllDirectoryW(L"")).
// Returns true when the search is restricted to the system folder.
bool RestrictDllSearch();

// InitCommonControlsEx with the given class set, from comctl32 loaded at run
// time. false when comctl32 or its entry cannot be loaded.
bool InitCommonControlsAtRunTime(DWORD classes);

}  // namespace qrn
