#include "app/DllSearch.h"

#include <windows.h>
// windows.h first: commctrl.h needs its macros.
#include <commctrl.h>

namespace qrn {

bool RestrictDllSearch() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
  ::SetDllDirectoryW(L"");
  return false;
}

bool InitCommonControlsAtRunTime(DWORD classes) {
  // By name, not by full path: a full path would bypass the manifest's
  // binding to Common Controls 6 in WinSxS.
  HMODULE comctl = ::LoadLibraryW(L"comctl32.dll");
  if (comctl == nullptr) return false;
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitCommonControlsExFn>(
      reinterpret_cast<void*>(::GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init == nullptr) return false;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = classes;
  // comctl32 stays loaded for the life of the process, as a static import would.
  return init(&controls) != FALSE;
}

}  // namespace qrn
