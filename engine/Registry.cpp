#include "engine/Registry.h"

#include "base/Owners.h"
#include "base/Product.h"
#include "log/Log.h"
#include "system/SetupInfo.h"

namespace qrn {
namespace {

constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

const wchar_t* g_failingValue = nullptr;

LSTATUS SetValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, DWORD bytes) {
  if (g_failingValue != nullptr && name == g_failingValue) return ERROR_ACCESS_DENIED;
  return RegSetValueExW(key, name.c_str(), 0, type, data, bytes);
}

// The log lines of one file type's steps. The first type names itself in
// its lines; the others share the plain ones.
struct FileTypeLines {
  const char* createExtension;
  const char* openExtension;  // takes the error code
  const char* setExtension;
  const char* createType;
  const char* createIcon;
  const char* setIcon;
};

constexpr FileTypeLines kSafeLines = {
    "CreateRegKey(): .safe failed",     "RegOpenKeyEx() .safe failed, error code:%d",
    "SetRegValue() .safe failed",       "CreateRegKey() qrn_safe_file failed",
    "CreateRegKey() qrn_safe_file DefaultIcon failed", "SetRegValue() qrn_safe_file DefaultIcon failed"};
constexpr FileTypeLines kPlainLines = {"CreateRegKey() failed", "RegOpenKeyEx() failed, error code:%d",
                                       "SetRegValue() failed",  "CreateRegKey() failed",
                                       "CreateRegKey() failed", "SetRegValue() failed"};

struct FileType {
  const wchar_t* extension;
  const wchar_t* typeKey;
  const wchar_t* program;  // in the install folder
  const FileTypeLines* lines;
};

constexpr FileType kFileTypes[] = {
    {L".safe", L"qrn_safe_file", L"QRN.exe", &kSafeLines},
    {L".qrn", L"qrnFile", L"QRNLocalEncrypt.exe", &kPlainLines},
    {L".iqrn", L"iqrnFile", L"QRNIndependentEncrypt.exe", &kPlainLines},
};

// Creates `subKey` under HKEY_CLASSES_ROOT (logging `createLine` on
// failure), opens it again and sets its default value (logging `openLine`
// or `setLine`).
void WriteDefaultValue(const std::wstring& subKey, const std::wstring& value, const char* createLine,
                       const char* openLine, const char* setLine) {
  {
    UniqueHKey created;
    if (!CreateRegKey(HKEY_CLASSES_ROOT, subKey, created.put())) LOG_ERROR("%s", createLine);
  }
  UniqueHKey opened;
  const LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, kAccess, opened.put());
  if (status != ERROR_SUCCESS) {
    LOG_ERROR(openLine, static_cast<int>(status));
    return;
  }
  if (!SetRegValue(opened.get(), L"", value)) LOG_ERROR("%s", setLine);
}

void WriteFileType(const FileType& type, const std::wstring& installFolder) {
  const FileTypeLines& lines = *type.lines;
  WriteDefaultValue(type.extension, type.typeKey, lines.createExtension, lines.openExtension, lines.setExtension);
  {
    UniqueHKey created;
    if (!CreateRegKey(HKEY_CLASSES_ROOT, type.typeKey, created.put())) LOG_ERROR("%s", lines.createType);
  }
  const std::wstring program = installFolder + L"\\" + type.program;
  WriteDefaultValue(std::wstring(type.typeKey) + L"\\DefaultIcon", program + L",0", lines.createIcon,
                    kPlainLines.openExtension, lines.setIcon);
  WriteDefaultValue(std::wstring(type.typeKey) + L"\\Shell\\open\\command", program + L" \"%1\"",
                    kPlainLines.createType, kPlainLines.openExtension, kPlainLines.setExtension);
}

// The seven values in order; the chain stops at the first failing write.
bool WriteUninstallValues(HKEY entry, const std::wstring& installFolder) {
  const std::pair<const wchar_t*, std::wstring> texts[] = {
      {L"Publisher", kPublisher},
      {L"DisplayName", kDisplayName},
      {L"URLInfoAbout", kUrlInfoAbout},
      {L"DisplayVersion", kProductVersionW},
      {L"DisplayIcon", installFolder + L"\\QRN.exe"},
      {L"UninstallString", installFolder + L"\\Uninstall.exe"},
  };
  for (const auto& [name, data] : texts) {
    if (!SetRegValue(entry, name, data)) {
      LOG_ERROR("SetRegValue() failed");
      return false;
    }
  }
  if (!SetRegValue(entry, L"Language", kLanguageId)) {
    LOG_ERROR("SetRegValue() failed");
    return false;
  }
  return true;
}

bool WriteUninstallEntry(const std::wstring& installFolder) {
  UniqueHKey parent;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParent, 0, kAccess, parent.put());
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegOpenKeyEx() failed, error code:%d", static_cast<int>(status));
    return false;
  }
  UniqueHKey entry;
  if (!CreateRegKey(parent.get(), kProductUninstallKey, entry.put())) {
    LOG_ERROR("CreateRegKey() failed");
    return false;
  }
  if (!WriteUninstallValues(entry.get(), installFolder)) return false;

  // The per-user marker goes under the user's existing Uninstall key; that
  // key is not created when it is missing.
  UniqueHKey userParent;
  status = RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, kAccess, userParent.put());
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegOpenKeyEx() failed, error code:%d", static_cast<int>(status));
    return false;
  }
  UniqueHKey marker;
  if (!CreateRegKey(userParent.get(), kProductUninstallKey, marker.put())) {
    LOG_ERROR("CreateRegKey() failed");
    return false;
  }
  return true;
}

}  // namespace

bool CreateRegKey(HKEY root, const std::wstring& subKey, HKEY* key) {
  const LSTATUS status = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                                         key, nullptr);
  if (status != ERROR_SUCCESS) {
    *key = nullptr;
    LOG_ERROR("RegCreateKeyEx() failed, error code:%d strKey:%s", static_cast<int>(status),
              CStringToMultiByte(subKey).get());
    return false;
  }
  return true;
}

bool SetRegValue(HKEY key, const std::wstring& name, const std::wstring& data) {
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  const LSTATUS status = SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegSetValueEx() failed, error code:%d ValueName:%s Data:%s", static_cast<int>(status),
              CStringToMultiByte(name).get(), CStringToMultiByte(data).get());
    return false;
  }
  return true;
}

bool SetRegValue(HKEY key, const std::wstring& name, DWORD data) {
  const LSTATUS status = SetValue(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  if (status != ERROR_SUCCESS) {
    LOG_ERROR("RegSetValueEx() failed, error code:%d ValueName:%s Data:%d", static_cast<int>(status),
              CStringToMultiByte(name).get(), static_cast<int>(data));
    return false;
  }
  return true;
}

bool SetReg(InstallSettings& settings) {
  if (!SetRegSetup(settings.installFolder)) LOG_ERROR("SetRegSetup() failed");
  return true;
}

void FailRegValueForTesting(const wchar_t* valueName) { g_failingValue = valueName; }

bool SetRegSetup(const std::wstring& installFolder) {
  for (const FileType& type : kFileTypes) WriteFileType(type, installFolder);
  return WriteUninstallEntry(installFolder);
}

}  // namespace qrn
