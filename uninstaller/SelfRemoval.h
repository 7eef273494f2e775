// Removing the uninstaller's own file, which cannot simply be deleted while
// it runs.
//
// The installer runs an earlier installation's uninstaller like this: it
// writes the new Uninstall.exe over the old one, runs it with "-S", waits
// for that process to end, and then extracts the new product, a fresh
// Uninstall.exe included, into the same folder. So:
//   - all work is done before this process ends (no copy started from a
//     temporary folder that goes on after the installer stopped waiting);
//   - nothing may later delete whatever is at the original path: no
//     deletion of that path scheduled for the next start of Windows, no
//     helper that deletes it after a delay.
// What is done instead: the running file is renamed away, out of the
// install folder, to a unique name in the temporary folder (a rename of a
// running executable is allowed, a deletion is not), and that renamed file
// is deleted at once where the system allows it, else at the next start
// of Windows. The original path is then free for the next installation.
#pragma once

#include <string>

namespace qrn {

enum class SelfRemoval {
  kDeleted,    // renamed away and deleted at once
  kScheduled,  // renamed away; the renamed file goes at the next start of Windows
  kFailed,     // could not be renamed away: the file stays where it is (logged)
};

// Moves `selfPath` to a unique name in `tempFolder` (which must lie on the
// same volume: moving to another volume copies the running file and then
// cannot delete it), then deletes or schedules the moved file.
SelfRemoval RemoveOwnFile(const std::wstring& selfPath, const std::wstring& tempFolder);

// The temporary folder for RemoveOwnFile: the user's temporary folder when
// it lies on the same volume as `selfPath`, else a hidden folder
// "<volume root>\QrnUninstallTemp" on that volume. Empty when none can be
// made.
std::wstring TempFolderOnSameVolume(const std::wstring& selfPath);

}  // namespace qrn
