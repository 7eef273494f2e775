// Deleting the recorded files and the folders they leave empty.
#pragma once

#include <string>
#include <vector>

namespace qrn {

// How long files still held by a process that is going away (a driver
// host, a service just stopped) are retried, in total.
inline constexpr unsigned kFileRetryMs = 3000;

// Deletes each file (clearing a read-only attribute first). A file that is
// already gone counts as removed. Files held open are retried for up to
// kFileRetryMs altogether; what is still left then is logged and left in
// place: nothing is scheduled for deletion at the next start of Windows,
// since the installer that ran this uninstaller is about to write most of
// these paths anew. A path that names a folder is not a recorded file and
// is left alone. True when every file is gone.
bool RemoveFiles(const std::vector<std::wstring>& files);

// Removes the folders of `files` that are now empty, deepest first, each
// folder and its parents up to, not including, `topFolder`. Folders that
// are not empty stay (that is the check). True unless removing an empty
// folder failed.
bool RemoveEmptyFolders(const std::vector<std::wstring>& files, const std::wstring& topFolder);

}  // namespace qrn
