#include "payload/MapArchivePath.h"

#include "log/Log.h"
#include "payload/ArchiveRouting.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

std::string Ansi(const std::wstring& text) {
  const auto ansi = CStringToMultiByte(text);
  return ansi ? std::string(ansi.get()) : std::string();
}

}  // namespace

BOOL MapArchivePath(const std::wstring& installFolder, const std::wstring& name, std::wstring* destination) {
  RouteFolders folders;
  folders.wow64 = IsWow64() != FALSE;
  folders.installFolder = installFolder;
  folders.systemX86Dir = GetSystemX86Dir();
  folders.driversDir = GetDriversDir();
  switch (RouteArchiveName(name, folders, destination)) {
    case RouteResult::kRouted:
      return TRUE;
    case RouteResult::kExcluded:
      return FALSE;
    case RouteResult::kUnsafe:
      LOG_ERROR("unsafe entry name, skipped, name:%s", Ansi(name).c_str());
      return FALSE;
    case RouteResult::kNoFolder:
      LOG_ERROR("no destination folder for entry, skipped, name:%s", Ansi(name).c_str());
      return FALSE;
  }
  return FALSE;
}

}  // namespace qrn
