// Name routing and its safety: RouteArchiveName over any name. Whatever it
// routes must stay inside the folder it was routed to, judged here by the
// rules Windows applies to a path (Naming Files, Paths, and Namespaces):
// each component loses its trailing dots and blanks, must not then be
// empty, "." or "..", holds none of the reserved characters or control
// characters, and is no reserved device name (with any extension).
//
// Input: one byte of flags (bit 0: 64-bit Windows; bits 1-3: the install,
// system and drivers folder unknown), then the name as UTF-16LE code units,
// as the installer has it after converting the stored ANSI name.
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "payload/ArchiveRouting.h"
#include "tests/fuzz/FuzzSupport.h"

namespace qrn::fuzz {
namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool Same(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

// CON, PRN, AUX, NUL, COM0-9, COM and LPT with a superscript 1, 2 or 3,
// LPT0-9, and the console names, alone or followed by an extension.
bool IsReservedName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (const wchar_t* name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (Same(stem, name)) return true;
  }
  if (stem.size() != 4 || !(Same(stem.substr(0, 3), L"COM") || Same(stem.substr(0, 3), L"LPT"))) return false;
  const wchar_t digit = stem[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// Why `component` would not stay a plain name in its folder; empty when it does.
std::string Escapes(const std::wstring& component) {
  std::wstring name = component;
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
  if (name.empty() || name == L"." || name == L"..") return "reaches the folder itself or its parent";
  for (const wchar_t c : component) {
    if (c < 0x20 || std::wstring(L"<>:\"/\\|?*").find(c) != std::wstring::npos) {
      return "holds character " + std::to_string(static_cast<unsigned>(c));
    }
  }
  if (IsReservedName(component)) return "is a device";
  return std::string();
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char unit[8];
      std::snprintf(unit, sizeof unit, "\\u%04X", static_cast<unsigned>(c) & 0xFFFFu);
      out += unit;
    }
  }
  return out;
}

}  // namespace
}  // namespace qrn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrn;
  using namespace qrn::fuzz;
  if (size < 1) return 0;
  RouteFolders folders;
  folders.wow64 = (data[0] & 1) != 0;
  if ((data[0] & 2) == 0) folders.installFolder = L"D:\\Apps\\Quorrin";
  if ((data[0] & 4) == 0) folders.systemX86Dir = L"C:\\Windows\\SysWOW64";
  if ((data[0] & 8) == 0) folders.driversDir = L"C:\\Windows\\System32\\drivers";
  const std::wstring name = Utf16Units(data + 1, size - 1);

  std::wstring destination;
  const RouteResult result = RouteArchiveName(name, folders, &destination);
  const std::string shown = Printable(name);
  if (result != RouteResult::kRouted) {
    FUZZ_CHECK(destination.empty(), shown + ": a destination without a route");
    return 0;
  }
  // Which folder: the longest one the destination starts with.
  const std::wstring* folder = nullptr;
  for (const std::wstring* f : {&folders.installFolder, &folders.systemX86Dir, &folders.driversDir}) {
    if (!f->empty() && destination.compare(0, f->size(), *f) == 0 &&
        (folder == nullptr || f->size() > folder->size())) {
      folder = f;
    }
  }
  FUZZ_CHECK(folder != nullptr, shown + ": routed into no folder");
  const std::wstring rest = destination.substr(folder->size());
  FUZZ_CHECK(!rest.empty() && rest[0] == L'\\', shown + ": the rest starts a new component");
  FUZZ_CHECK(name.size() >= rest.size() && name.compare(name.size() - rest.size(), rest.size(), rest) == 0,
             shown + ": the rest is the name's own");
  size_t start = 1;
  for (;;) {
    const size_t end = rest.find(L'\\', start);
    const std::wstring component = rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const std::string why = Escapes(component);
    FUZZ_CHECK(why.empty(), shown + ": component '" + Printable(component) + "' " + why);
    FUZZ_CHECK(IsSafePathComponent(component), shown + ": routed through an unsafe component");
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  // The other word size's entries never land.
  const std::wstring tag = name.substr(0, name.find(L'\\'));
  for (const wchar_t* other : folders.wow64 ? std::vector<const wchar_t*>{L"32", L"en32", L"ch32"}
                                            : std::vector<const wchar_t*>{L"64", L"en64", L"ch64"}) {
    FUZZ_CHECK(!Same(tag, other), shown + ": routed for the other word size");
  }
  return 0;
}
