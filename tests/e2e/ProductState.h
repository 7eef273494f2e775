// What an installation of the product leaves on the machine, read back from
// outside: the files the setup's payload routes to, the services, devices,
// registry entries and shortcuts, the report the local report server stored,
// and a scrubber that takes all of it away between tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qrn::test {

// One payload entry and where the installation puts it.
struct RoutedEntry {
  std::wstring entryName;    // archive name, backslashes
  std::wstring destination;  // full path on this machine
  bool recorded = false;     // listed in InstallInfo.db
  bool written = false;      // the setup writes it
  uint64_t dataOffset = 0;   // where its packed data starts in the deciphered stream
  uint64_t packedSize = 0;
};

// Reads the archive index of `setup` and routes every file entry as the
// installer does on this machine (64-bit Windows: sys\64, en32 and sys\32
// left out). Empty with `error` set when the setup cannot be read.
std::vector<RoutedEntry> RouteSetupPayload(const std::wstring& setup, const std::wstring& installFolder,
                                           std::string* error);

// The contents of InstallInfo.db as the routed entries make it: one ANSI
// line per recorded destination, LF only.
std::string ExpectedInstallRecord(const std::vector<RoutedEntry>& entries);

// The data folder: "Quorrin" under the common application-data folder.
std::wstring DataFolder();
std::wstring DesktopLink();
std::wstring StartMenuFolder();

// Processes with this image name (any folder).
std::vector<DWORD> ProcessesNamed(const std::wstring& name);

// A registry value as text; empty when missing.
std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0);
bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);

// Deletes a folder tree; true when it is gone.
bool DeleteFolderTree(const std::wstring& folder);

// Everything an installation or a test left: product processes, services,
// drivers and their files, registrations, shortcuts, file types, uninstall
// entries, the install folder, the files it routed to system folders, and
// the data folder.
void ScrubProduct(const std::wstring& installFolder, const std::vector<RoutedEntry>& entries);

}  // namespace qrn::test
