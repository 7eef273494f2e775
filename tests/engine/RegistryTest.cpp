// File types and the uninstall entry, read back from Wine's real registry.
// The fixture removes every key the stage writes, before and after, and puts
// the per-user Uninstall key back as it found it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/Owners.h"
#include "base/Product.h"
#include "engine/Registry.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPlatform.h"

namespace qrn {
namespace {

const wchar_t kFolder[] = L"C:\\Program Files (x86)\\Quorrin";
const std::wstring kEntry = std::wstring(kUninstallParent) + L"\\" + kProductUninstallKey;

void DeleteTree(HKEY root, const std::wstring& key, REGSAM view = KEY_WOW64_32KEY) {
  UniqueHKey parent;
  const size_t slash = key.rfind(L'\\');
  const std::wstring parentPath = slash == std::wstring::npos ? L"" : key.substr(0, slash);
  const std::wstring leaf = slash == std::wstring::npos ? key : key.substr(slash + 1);
  if (RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, parent.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(parent.get(), leaf.c_str());
  RegDeleteKeyExW(parent.get(), leaf.c_str(), view, 0);
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = KEY_WOW64_32KEY) {
  UniqueHKey k;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.put()) == ERROR_SUCCESS;
}

// The raw value: type and bytes as stored.
struct Value {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

Value Read(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = KEY_WOW64_32KEY) {
  Value v;
  UniqueHKey k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.put()) != ERROR_SUCCESS) return v;
  DWORD size = 0;
  if (RegQueryValueExW(k.get(), name, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return v;
  v.bytes.resize(size);
  RegQueryValueExW(k.get(), name, nullptr, &v.type, v.bytes.data(), &size);
  return v;
}

// REG_SZ as the stage must write it: the text and its NUL, (n + 1) * 2 bytes.
Value Sz(const std::wstring& text) {
  Value v{REG_SZ, {}};
  const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
  v.bytes.assign(p, p + (text.size() + 1) * sizeof(wchar_t));
  return v;
}

bool operator==(const Value& a, const Value& b) { return a.type == b.type && a.bytes == b.bytes; }
std::ostream& operator<<(std::ostream& os, const Value& v) {
  return os << "type " << v.type << ", " << v.bytes.size() << " bytes";
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    userParentExisted_ = KeyExists(HKEY_CURRENT_USER, kUninstallParent);
    Clean();
  }
  void TearDown() override {
    FailRegValueForTesting(nullptr);
    Clean();
    if (!userParentExisted_) DeleteTree(HKEY_CURRENT_USER, kUninstallParent);
  }
  static void Clean() {
    for (const wchar_t* key : {L".safe", L".qrn", L".iqrn", L"qrn_safe_file", L"qrnFile", L"iqrnFile"}) {
      DeleteTree(HKEY_CLASSES_ROOT, key);
    }
    DeleteTree(HKEY_LOCAL_MACHINE, kEntry);
    DeleteTree(HKEY_CURRENT_USER, kEntry);
  }
  static void MakeUserParent() {
    UniqueHKey k;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallParent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr),
        ERROR_SUCCESS);
  }
  bool userParentExisted_ = false;
};

TEST_F(RegistryTest, WritesFileTypesAndTheUninstallEntryInThe32BitView) {
  MakeUserParent();
  ASSERT_TRUE(SetRegSetup(kFolder));
  const std::wstring folder = kFolder;
  struct Expected {
    HKEY root;
    std::wstring key;
    const wchar_t* name;
    Value value;
  } expected[] = {
      {HKEY_CLASSES_ROOT, L".safe", L"", Sz(L"qrn_safe_file")},
      {HKEY_CLASSES_ROOT, L"qrn_safe_file\\DefaultIcon", L"", Sz(folder + L"\\QRN.exe,0")},
      {HKEY_CLASSES_ROOT, L"qrn_safe_file\\Shell\\open\\command", L"", Sz(folder + L"\\QRN.exe \"%1\"")},
      {HKEY_CLASSES_ROOT, L".qrn", L"", Sz(L"qrnFile")},
      {HKEY_CLASSES_ROOT, L"qrnFile\\DefaultIcon", L"", Sz(folder + L"\\QRNLocalEncrypt.exe,0")},
      {HKEY_CLASSES_ROOT, L"qrnFile\\Shell\\open\\command", L"", Sz(folder + L"\\QRNLocalEncrypt.exe \"%1\"")},
      {HKEY_CLASSES_ROOT, L".iqrn", L"", Sz(L"iqrnFile")},
      {HKEY_CLASSES_ROOT, L"iqrnFile\\DefaultIcon", L"", Sz(folder + L"\\QRNIndependentEncrypt.exe,0")},
      {HKEY_CLASSES_ROOT, L"iqrnFile\\Shell\\open\\command", L"", Sz(folder + L"\\QRNIndependentEncrypt.exe \"%1\"")},
      {HKEY_LOCAL_MACHINE, kEntry, L"Publisher", Sz(L"Marvessa")},
      {HKEY_LOCAL_MACHINE, kEntry, L"DisplayName", Sz(L"Quorrin")},
      {HKEY_LOCAL_MACHINE, kEntry, L"URLInfoAbout", Sz(kUrlInfoAbout)},
      {HKEY_LOCAL_MACHINE, kEntry, L"DisplayVersion", Sz(L"6.1.0.3_20200220")},
      {HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", Sz(folder + L"\\QRN.exe")},
      {HKEY_LOCAL_MACHINE, kEntry, L"UninstallString", Sz(folder + L"\\Uninstall.exe")},
      {HKEY_LOCAL_MACHINE, kEntry, L"Language", Value{REG_DWORD, {0x04, 0x08, 0, 0}}},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(Read(e.root, e.key, e.name), e.value) << "key " << std::string(e.key.begin(), e.key.end());
  }
  // The capital S of "Shell" is kept in the key's own name.
  UniqueHKey type;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"qrn_safe_file", 0, KEY_READ | KEY_WOW64_32KEY, type.put()),
            ERROR_SUCCESS);
  wchar_t name[64];
  DWORD length = 64;
  ASSERT_EQ(RegEnumKeyExW(type.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, L"Shell");
  // The entry lives in the 32-bit view only (32-bit Windows has no other),
  // and the per-user marker exists.
  if (test::OnWindows64()) {
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEntry, KEY_WOW64_64KEY));
  }
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kEntry));
}

TEST_F(RegistryTest, SecondRunLeavesOneEntryWithTheNewFolder) {
  MakeUserParent();
  ASSERT_TRUE(SetRegSetup(L"D:\\Old\\Quorrin"));
  ASSERT_TRUE(SetRegSetup(kFolder));
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kEntry, L"UninstallString"), Sz(std::wstring(kFolder) + L"\\Uninstall.exe"));
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"qrnFile\\DefaultIcon", L""),
            Sz(std::wstring(kFolder) + L"\\QRNLocalEncrypt.exe,0"));
}

TEST_F(RegistryTest, MissingUserUninstallKeyIsNotCreated) {
  DeleteTree(HKEY_CURRENT_USER, kUninstallParent);
  test::LogCapture log;
  EXPECT_FALSE(SetRegSetup(kFolder));
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kEntry, L"Language").type, static_cast<DWORD>(REG_DWORD))
      << "the machine-wide entry is complete";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallParent));
  EXPECT_TRUE(log.Contains("$error:RegOpenKeyEx() failed, error code:2\r\n")) << log.Text();
}

TEST_F(RegistryTest, FailingWriteStopsTheChain) {
  MakeUserParent();
  test::LogCapture log;
  FailRegValueForTesting(L"DisplayVersion");
  EXPECT_FALSE(SetRegSetup(kFolder));
  for (const wchar_t* written : {L"Publisher", L"DisplayName", L"URLInfoAbout"}) {
    EXPECT_NE(Read(HKEY_LOCAL_MACHINE, kEntry, written).type, static_cast<DWORD>(REG_NONE));
  }
  for (const wchar_t* missing : {L"DisplayVersion", L"DisplayIcon", L"UninstallString", L"Language"}) {
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kEntry, missing).type, static_cast<DWORD>(REG_NONE));
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kEntry));
  EXPECT_TRUE(
      log.Contains("$error:RegSetValueEx() failed, error code:5 ValueName:DisplayVersion "
                   "Data:6.1.0.3_20200220\r\n"))
      << log.Text();
  EXPECT_TRUE(log.Contains("$error:SetRegValue() failed\r\n"));
}

}  // namespace
}  // namespace qrn
