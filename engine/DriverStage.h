// The driver and service stage: the disk-encryption driver (service
// "VeraCrypt", device \\.\VeraCrypt, version verified), the virtual-disk
// driver (service "Velmdisk", device \\.\Velmdisk) and the protection
// service, made sure of right after the extraction pass has placed their
// files. Runs on the install thread with file-system redirection off on
// 64-bit Windows, so the drivers folder is the native one.
#pragma once

#include <windows.h>

#include <string>

#include "engine/InstallSettings.h"

namespace qrn {

// The disk-encryption driver's version query, and the older code that
// drivers before it answer. Input: none; output: one 32-bit version.
inline constexpr DWORD IOCTL_GET_DRIVER_VERSION = 0x222004;        // CTL_CODE(UNKNOWN, 0x801, BUFFERED, ANY)
inline constexpr DWORD IOCTL_LEGACY_GET_DRIVER_VERSION = 0x72018;  // CTL_CODE(DISK, 0x806, BUFFERED, ANY)
inline constexpr DWORD DRIVER_VERSION_EXPECTED = 0x0119;
// Remove-and-reload cycles CheckDrive makes for a driver of another version
// before it gives up (a driver that cannot be stopped keeps answering).
inline constexpr int kMaxDriverReloads = 3;

inline constexpr wchar_t kVeraCryptService[] = L"VeraCrypt";
inline constexpr wchar_t kVeraCryptDevice[] = L"\\\\.\\VeraCrypt";
inline constexpr wchar_t kVirtualDiskService[] = L"Velmdisk";
inline constexpr wchar_t kVirtualDiskDevice[] = L"\\\\.\\Velmdisk";
inline constexpr wchar_t kProtectServiceName[] = L"Quorrin软件版保险箱文件保护服务";
inline constexpr wchar_t kProtectServiceDescription[] =
    L"防止保险箱文件误删除，停止该服务可能导致打开保险箱时提示拒绝访问或保险箱文件处于未保护状态。";
inline constexpr wchar_t kProtectServiceProgram[] = L"QRNProtectService.exe";

// Driver file names for the Windows word size (IsWow64: 64-bit Windows).
const wchar_t* VeraCryptDriverFile();    // "Velmdisk2-x64.sys" or "Velmdisk2.sys"
const wchar_t* VirtualDiskDriverFile();  // "Velmdisk-x64.sys" or "Velmdisk.sys"

// The stage. True only when the disk-encryption driver answers with the
// expected version (or the legacy query), is registered to load from this
// installation's file, and the protection service was created afresh and
// started. A failing disk-encryption driver ends it at once, unless it
// answers and only its registration failed (one an older uninstaller marked
// for deletion): it works for this session, so the stage goes on and then
// reports false. A failing virtual-disk driver is logged and the stage goes
// on.
bool InstallDriver(InstallSettings& settings);

// Makes sure `device` opens, loading the driver `file` as service `service`
// when it does not; with `checkVersion`, makes sure the driver answers
// DRIVER_VERSION_EXPECTED (or only the legacy query), removing and reloading
// a driver of another version at most kMaxDriverReloads times.
// A driver found loaded and kept stays loaded, and its registration is made
// to name `file` (RegisterRunningDriver): the uninstaller of an earlier
// installation leaves a driver that does not stop as it is, and older
// uninstallers deleted its service all the same. A driver of another version
// that does not stop stays loaded for this session, with its registration
// naming `file` for the next start of Windows. True only when the driver
// answers as wanted and is registered.
bool CheckDrive(const std::wstring& service, const std::wstring& device, bool checkVersion, const std::wstring& file);

// Registers "<drivers folder>\<file>" as kernel-driver service `service`
// (system start) and starts it. An existing registration is deleted and
// made again once per call; a failed start is retried the same way when no
// re-registration happened yet. True when the service ends up running.
bool LoadDriver(const std::wstring& service, const std::wstring& file);

// For a driver that is loaded already: makes `service` a kernel-driver
// service (system start, normal error control) of "<drivers folder>\<file>",
// creating it when missing and changing it in place when it differs, without
// starting or stopping anything; the next start of Windows loads that file.
// One warning line when it changed anything. False (logged) when it cannot,
// e.g. for a service an earlier uninstaller marked for deletion.
bool RegisterRunningDriver(const std::wstring& service, const std::wstring& file);

// Stops the kernel-driver service (2 s at most) and deletes it. True only
// when it was seen to reach SERVICE_STOPPED after the stop request (false
// also for a service that was already stopped, which is deleted too). A
// driver that does not stop keeps its registration (logged): deleting it
// would leave the driver loaded now and never again after a restart.
bool UnloadDriver(const std::wstring& service);

}  // namespace qrn
