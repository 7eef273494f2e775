#include "uninstaller/Uninstaller.h"

#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "base/Owners.h"
#include "base/Product.h"
#include "engine/DriverStage.h"
#include "log/Log.h"
#include "payload/InstallInfo.h"
#include "system/MakePath.h"
#include "system/SetupInfo.h"
#include "uninstaller/CommandLine.h"
#include "uninstaller/FileRemoval.h"
#include "uninstaller/ProductProcesses.h"
#include "uninstaller/RecordLines.h"
#include "uninstaller/RegistryRemoval.h"
#include "uninstaller/RemovalPlan.h"
#include "uninstaller/SelfRemoval.h"
#include "uninstaller/ServiceRemoval.h"
#include "uninstaller/ShellExtensions.h"
#include "uninstaller/ShortcutRemoval.h"

namespace qrn {
namespace {

constexpr wchar_t kCaption[] = L"Quorrin";
constexpr DWORD kLongPathChars = 32768;

std::wstring OwnPath() {
  std::wstring path(kLongPathChars, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathChars);
  if (length == 0 || length >= kLongPathChars) return std::wstring();
  path.resize(length);
  return LongPathForm(path);
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void OpenLog(const std::wstring& commandLine) {
  const std::wstring dataFolder = GetAppDataDir();
  // No data folder, no log: "\log" would be a folder at the root of the
  // current drive. The uninstallation goes on either way.
  if (dataFolder.empty()) return;
  const std::wstring logFolder = dataFolder + L"\\log";
  MakePath(logFolder);
  LogInit("Uninstall", CStringToMultiByte(logFolder).get());
  LOG_DEBUG("Uninstall %s started, command line:%s", kProductVersion, CStringToMultiByte(commandLine).get());
}

// The system folder as the current folder: a process's current folder is
// held open, and the install folder could not be removed while it is.
void LeaveInstallFolder() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length != 0 && length < MAX_PATH) SetCurrentDirectoryW(system);
}

RemovalPlan PlanRemoval(const std::wstring& installFolder, const std::wstring& selfPath, bool* recordRead) {
  RemovalRoots roots;
  roots.installFolder = installFolder;
  roots.systemX86Folder = LongPathForm(GetSystemX86Dir());
  roots.driversFolder = LongPathForm(GetDriversDir());
  std::string bytes;
  *recordRead = ReadRecordFile(installFolder + L"\\" + kInstallInfoName, &bytes);
  const RecordLines lines = SplitRecordLines(bytes);
  RemovalPlan plan = BuildRemovalPlan(lines, roots, selfPath);
  LOG_DEBUG("install record: %d files in the install folder, %d in system folders, %d kept, %d refused",
            static_cast<int>(plan.installFiles.size()), static_cast<int>(plan.systemFiles.size()),
            static_cast<int>(plan.kept.size()), static_cast<int>(plan.refused));
  return plan;
}

// Moves `image` from the plan's files to delete to its kept ones.
void KeepSystemFile(RemovalPlan* plan, const std::wstring& image) {
  std::vector<std::wstring>& files = plan->systemFiles;
  for (auto file = files.begin(); file != files.end(); ++file) {
    if (CompareStringOrdinal(file->c_str(), static_cast<int>(file->size()), image.c_str(),
                             static_cast<int>(image.size()), TRUE) == CSTR_EQUAL) {
      plan->kept.push_back(*file);
      files.erase(file);
      return;
    }
  }
}

// A driver that did not stop keeps its registration, and with it its file:
// a registration naming a deleted file fails at the next start of Windows.
bool RemoveServices(RemovalPlan* plan) {
  bool ok = RemoveService(kProtectServiceName) != ServiceRemoval::kFailed;
  for (const wchar_t* driver : {kVeraCryptService, kVirtualDiskService}) {
    std::wstring image;
    const ServiceRemoval removal = RemoveService(driver, &plan->systemFiles, &image);
    if (removal == ServiceRemoval::kDriverLeft) KeepSystemFile(plan, image);
    ok = removal != ServiceRemoval::kFailed && removal != ServiceRemoval::kDriverLeft && ok;
  }
  return ok;
}

// Deletes the recorded files. A 32-bit uninstaller on 64-bit Windows
// switches file-system redirection off for it, as the installer did for
// writing them, so that recorded paths under System32 reach the native
// folder (the drivers) rather than SysWOW64.
bool RemoveRecordedFiles(const RemovalPlan& plan, const std::wstring& installFolder) {
  PVOID redirection = nullptr;
  bool redirectionOff = false;
  if (IsWow64()) {
    redirectionOff = LoadSys64Fun() && DisableWow64Redirection(&redirection);
    if (!redirectionOff) LOG_WARNING("file-system redirection stays on: driver files may be missed");
  }
  bool ok = RemoveFiles(plan.installFiles);
  ok = RemoveFiles(plan.systemFiles) && ok;
  ok = RemoveEmptyFolders(plan.installFiles, installFolder) && ok;
  if (redirectionOff) EnableWow64Redirection(redirection);
  for (const std::wstring& kept : plan.kept) LOG_DEBUG("kept:%s", CStringToMultiByte(kept).get());
  return ok;
}

bool RemoveOwnFiles(const std::wstring& installFolder, const std::wstring& selfPath) {
  bool ok = RemoveFiles({installFolder + L"\\" + kInstallInfoName});
  switch (RemoveOwnFile(selfPath, TempFolderOnSameVolume(selfPath))) {
    case SelfRemoval::kDeleted:
      break;
    case SelfRemoval::kScheduled:
      LOG_DEBUG("own file goes at the next start of Windows");
      break;
    case SelfRemoval::kFailed:
      ok = false;
      break;
  }
  // Only when empty: anything the user put there, or kept data, stays.
  if (!RemoveDirectoryW(installFolder.c_str())) {
    LOG_WARNING("install folder left, error code:%d path:%s", static_cast<int>(GetLastError()),
                CStringToMultiByte(installFolder).get());
  }
  return ok;
}

}  // namespace

int RunUninstaller(const std::wstring& commandLine) {
  const bool silent = HasSilentSwitch(commandLine);

  // Held until the process ends; the installer takes the same name. The
  // installer runs an earlier installation's uninstaller with -S while it
  // holds the lock itself and waits for it, so a silent run finds the lock
  // taken by the very setup that started it and goes on. Only a run by
  // hand is refused beside a running setup or uninstaller.
  // A lock made by a process of another security context cannot even be
  // opened (ERROR_ACCESS_DENIED): it is taken all the same.
  UniqueHandle lock(CreateMutexW(nullptr, TRUE, kInstallMutexName));
  const DWORD lockError = GetLastError();
  const bool lockTaken = lockError == ERROR_ALREADY_EXISTS || (!lock && lockError == ERROR_ACCESS_DENIED);
  if (lockTaken && !silent) {
    MessageBoxW(nullptr, L"安装或卸载程序已经在运行！", kCaption, MB_ICONWARNING);
    return kUninstallRefused;
  }

  OpenLog(commandLine);
  if (lockTaken) LOG_DEBUG("the setup that started this silent run holds the lock");
  if (!silent && MessageBoxW(nullptr, L"确定要卸载Quorrin吗？", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    LOG_DEBUG("uninstallation cancelled by the user");
    LogUninit();
    return kUninstallRefused;
  }

  const std::wstring selfPath = OwnPath();
  const std::wstring installFolder = FolderOf(selfPath);
  if (installFolder.empty()) {
    LOG_ERROR("GetModuleFileName() failed, error code:%d", static_cast<int>(GetLastError()));
    LogUninit();
    return kUninstallIncomplete;
  }
  LOG_DEBUG("install folder:%s", CStringToMultiByte(installFolder).get());
  LeaveInstallFolder();

  bool recordRead = false;
  RemovalPlan plan = PlanRemoval(installFolder, selfPath, &recordRead);
  bool complete = recordRead && plan.refused == 0;

  LOG_DEBUG("running to RemoveServices()");
  complete = RemoveServices(&plan) && complete;
  LOG_DEBUG("running to EndProductProcesses()");
  std::vector<std::wstring> programs = plan.installFiles;
  programs.insert(programs.end(), plan.systemFiles.begin(), plan.systemFiles.end());
  complete = EndProductProcesses(programs) && complete;
  LOG_DEBUG("running to UnregisterShellExtensions()");
  complete = UnregisterShellExtensions(installFolder) && complete;
  LOG_DEBUG("running to RemoveRecordedFiles()");
  complete = RemoveRecordedFiles(plan, installFolder) && complete;
  LOG_DEBUG("running to RemoveRegistry()");
  complete = RemoveFileTypes() && complete;
  complete = RemoveUninstallEntry(installFolder + L"\\" + kUninstallerName) && complete;
  LOG_DEBUG("running to RemoveShortcuts()");
  complete = RemoveShortcuts() && complete;
  // The shell drops the file types and refreshes the Desktop.
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  LOG_DEBUG("running to RemoveOwnFiles()");
  complete = RemoveOwnFiles(installFolder, selfPath) && complete;

  if (complete) {
    LOG_DEBUG("uninstallation complete");
  } else {
    LOG_ERROR("uninstallation incomplete: see the lines above");
  }
  LogUninit();
  if (!silent) {
    if (complete) {
      MessageBoxW(nullptr, L"Quorrin已成功卸载。", kCaption, MB_ICONINFORMATION);
    } else {
      MessageBoxW(nullptr, L"Quorrin已卸载，但有部分文件或设置未能删除。", kCaption, MB_ICONWARNING);
    }
  }
  return complete ? kUninstallDone : kUninstallIncomplete;
}

}  // namespace qrn
