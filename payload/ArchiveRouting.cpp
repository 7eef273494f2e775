#include "payload/ArchiveRouting.h"

#include <cwchar>
#include <initializer_list>

#include "payload/NameCase.h"

namespace qrn {
namespace {

bool SameText(const std::wstring& a, const wchar_t* b) { return EqualNameIgnoreCase(a, b); }

bool IsAnyOf(const std::wstring& text, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names) {
    if (SameText(text, name)) return true;
  }
  return false;
}

// Win32 opens these as devices in any folder ("C:\dir\NUL.txt" is NUL).
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  if (IsAnyOf(stem, {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})) return true;
  if (stem.size() != 4 || !(SameText(stem.substr(0, 3), L"COM") || SameText(stem.substr(0, 3), L"LPT"))) return false;
  // Windows takes the ISO 8859-1 superscripts as digits here too ("COM\u00B9"
  // is a port; Naming Files, Paths, and Namespaces), and an ANSI code page
  // such as 1252 gives them from a single byte.
  const wchar_t digit = stem[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

}  // namespace

bool IsSafePathComponent(const std::wstring& component) {
  if (component.empty()) return false;
  // ".", "..", "...", ". ." and the like: Win32 path handling strips
  // trailing dots and blanks, which turns some of them into "..".
  if (component.find_first_not_of(L". ") == std::wstring::npos) return false;
  for (const wchar_t c : component) {
    if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr) return false;
  }
  return !IsDeviceName(component);
}

RouteResult ClassifyArchiveName(const std::wstring& name, bool wow64, RouteFolder* folder, std::wstring* rest) {
  const size_t tagEnd = name.find(L'\\');
  if (tagEnd == std::wstring::npos) return RouteResult::kExcluded;
  const size_t secondEnd = name.find(L'\\', tagEnd + 1);
  if (secondEnd == std::wstring::npos) return RouteResult::kExcluded;
  const std::wstring tag = name.substr(0, tagEnd);
  const std::wstring second = name.substr(tagEnd + 1, secondEnd - tagEnd - 1);

  if (wow64 && IsAnyOf(tag, {L"32", L"en32", L"ch32"})) return RouteResult::kExcluded;
  if (!wow64 && IsAnyOf(tag, {L"64", L"en64", L"ch64"})) return RouteResult::kExcluded;

  if (SameText(tag, L"sys")) {
    if (!SameText(second, wow64 ? L"64" : L"32")) return RouteResult::kExcluded;
    *folder = RouteFolder::kDrivers;
  } else if (SameText(second, L"Program")) {
    *folder = RouteFolder::kInstall;
  } else if (SameText(second, L"System32")) {
    *folder = RouteFolder::kSystemX86;
  } else {
    return RouteResult::kExcluded;
  }

  // Every component after the second must be a plain name: this also
  // refuses an empty rest, a doubled or trailing backslash, and a drive.
  const size_t restBegin = secondEnd;  // the backslash
  size_t start = restBegin + 1;
  for (;;) {
    const size_t end = name.find(L'\\', start);
    if (!IsSafePathComponent(name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start))) {
      return RouteResult::kUnsafe;
    }
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  rest->assign(name, restBegin, std::wstring::npos);
  return RouteResult::kRouted;
}

RouteResult JoinRoute(const std::wstring& folder, const std::wstring& rest, std::wstring* destination) {
  // An empty folder would turn the rest into a path from the current
  // drive's root.
  if (folder.empty()) return RouteResult::kNoFolder;
  *destination = folder + rest;
  return RouteResult::kRouted;
}

RouteResult RouteArchiveName(const std::wstring& name, const RouteFolders& folders, std::wstring* destination) {
  RouteFolder which = RouteFolder::kInstall;
  std::wstring rest;
  const RouteResult result = ClassifyArchiveName(name, folders.wow64, &which, &rest);
  if (result != RouteResult::kRouted) return result;
  const std::wstring& folder = which == RouteFolder::kDrivers     ? folders.driversDir
                               : which == RouteFolder::kSystemX86 ? folders.systemX86Dir
                                                                  : folders.installFolder;
  return JoinRoute(folder, rest, destination);
}

}  // namespace qrn
