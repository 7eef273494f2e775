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
  RouteFolder which = RouteFolder::kInstall;
  std::wstring rest;
  RouteResult result = ClassifyArchiveName(name, IsWow64() != FALSE, &which, &rest);
  if (result == RouteResult::kRouted) {
    // The system folders are asked for only when an entry goes there.
    switch (which) {
      case RouteFolder::kDrivers:
        result = JoinRoute(GetDriversDir(), rest, destination);
        break;
      case RouteFolder::kSystemX86:
        result = JoinRoute(GetSystemX86Dir(), rest, destination);
        break;
      case RouteFolder::kInstall:
        result = JoinRoute(installFolder, rest, destination);
        break;
    }
  }
  switch (result) {
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
