// The DACL merge of the data folder. Wine does not keep a file's DACL (it
// rebuilds one from the Unix mode), so the orders are checked on in-memory
// descriptors; the real call path is run on a folder as well.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/AccessRights.h"
#include "tests/support/TempDir.h"

namespace qrn {
namespace {

struct AceSpec {
  WELL_KNOWN_SID_TYPE sid;
  DWORD mask;
  bool inherited;
  bool operator==(const AceSpec& o) const { return sid == o.sid && mask == o.mask && inherited == o.inherited; }
};

std::vector<BYTE> Sid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
  sid.resize(size);
  return sid;
}

const WELL_KNOWN_SID_TYPE kKnown[] = {WinBuiltinUsersSid, WinBuiltinAdministratorsSid, WinLocalSystemSid,
                                      WinWorldSid, WinCreatorOwnerSid};

// An absolute descriptor holding a DACL of the given entries.
class Descriptor {
 public:
  Descriptor(const std::vector<AceSpec>& aces, bool nullDacl = false, SECURITY_DESCRIPTOR_CONTROL control = 0)
      : acl_(4096) {
    InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION);
    for (const AceSpec& a : aces) {
      std::vector<BYTE> sid = Sid(a.sid);
      EXPECT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, a.inherited ? INHERITED_ACE : 0, a.mask, sid.data()));
    }
    SetSecurityDescriptorDacl(&sd_, TRUE, nullDacl ? nullptr : acl, FALSE);
    if (control != 0) SetSecurityDescriptorControl(&sd_, control, control);
  }
  PSECURITY_DESCRIPTOR get() { return &sd_; }

 private:
  SECURITY_DESCRIPTOR sd_{};
  std::vector<BYTE> acl_;
};

std::vector<AceSpec> Entries(const MergedDacl& merged) {
  std::vector<AceSpec> out;
  PACL acl = static_cast<PACL>(merged.acl.get());
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    EXPECT_TRUE(GetAce(acl, i, &raw));
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    AceSpec found{WinNullSid, ace->Mask, (ace->Header.AceFlags & INHERITED_ACE) != 0};
    for (WELL_KNOWN_SID_TYPE t : kKnown) {
      if (EqualSid(&ace->SidStart, Sid(t).data())) found.sid = t;
    }
    out.push_back(found);
  }
  return out;
}

std::vector<AceSpec> Merge(Descriptor& d, WELL_KNOWN_SID_TYPE account = WinBuiltinUsersSid, MergedDacl* keep = nullptr) {
  MergedDacl merged;
  std::vector<BYTE> sid = Sid(account);
  EXPECT_TRUE(MergeAccountAce(d.get(), sid.data(), GENERIC_ALL, &merged));
  std::vector<AceSpec> out = Entries(merged);
  if (keep != nullptr) *keep = std::move(merged);
  return out;
}

const AceSpec kNewUsers{WinBuiltinUsersSid, GENERIC_ALL, false};

TEST(AccessRightsTest, MergeKeepsCanonicalOrder) {
  const AceSpec systemInherited{WinLocalSystemSid, FILE_ALL_ACCESS, true};
  const AceSpec adminsInherited{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS, true};
  const AceSpec usersInherited{WinBuiltinUsersSid, FILE_GENERIC_READ, true};
  const AceSpec everyoneExplicit{WinWorldSid, FILE_GENERIC_READ, false};
  const AceSpec usersExplicitOld{WinBuiltinUsersSid, FILE_GENERIC_WRITE, false};
  struct Case {
    const char* name;
    std::vector<AceSpec> before;
    std::vector<AceSpec> after;
  } cases[] = {
      {"only inherited entries: the new one goes first",
       {systemInherited, adminsInherited},
       {kNewUsers, systemInherited, adminsInherited}},
      {"explicit entries, then the new one, then inherited ones",
       {everyoneExplicit, systemInherited},
       {everyoneExplicit, kNewUsers, systemInherited}},
      {"an old explicit entry for the account is replaced; an inherited one stays",
       {usersExplicitOld, everyoneExplicit, usersInherited, adminsInherited},
       {everyoneExplicit, kNewUsers, usersInherited, adminsInherited}},
      {"empty DACL", {}, {kNewUsers}},
  };
  for (Case& c : cases) {
    Descriptor d(c.before);
    EXPECT_EQ(Merge(d), c.after) << c.name;
  }
}

TEST(AccessRightsTest, NullDaclBecomesTheNewEntryAlone) {
  Descriptor nullDacl({}, /*nullDacl=*/true);
  EXPECT_EQ(Merge(nullDacl), std::vector<AceSpec>{kNewUsers});
}

// Merging into the result again (a second installation) leaves one
// explicit entry for the account, at the same place.
TEST(AccessRightsTest, RunningTwiceGivesOneEntry) {
  Descriptor d({{WinWorldSid, FILE_GENERIC_READ, false}, {WinLocalSystemSid, FILE_ALL_ACCESS, true}});
  MergedDacl first;
  Merge(d, WinBuiltinUsersSid, &first);
  SECURITY_DESCRIPTOR again{};
  InitializeSecurityDescriptor(&again, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&again, TRUE, static_cast<PACL>(first.acl.get()), FALSE);
  MergedDacl second;
  std::vector<BYTE> users = Sid(WinBuiltinUsersSid);
  ASSERT_TRUE(MergeAccountAce(&again, users.data(), GENERIC_ALL, &second));
  EXPECT_EQ(Entries(second), (std::vector<AceSpec>{{WinWorldSid, FILE_GENERIC_READ, false},
                                                   kNewUsers,
                                                   {WinLocalSystemSid, FILE_ALL_ACCESS, true}}));
}

TEST(AccessRightsTest, InheritanceControlBitsAreCarriedOver) {
  struct Case {
    SECURITY_DESCRIPTOR_CONTROL old;
    SECURITY_DESCRIPTOR_CONTROL expected;
  } cases[] = {
      {SE_DACL_AUTO_INHERITED, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
      {SE_DACL_PROTECTED, SE_DACL_PROTECTED},
      {SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
      {0, 0},
  };
  for (const Case& c : cases) {
    Descriptor d({}, false, c.old);
    MergedDacl merged;
    Merge(d, WinBuiltinUsersSid, &merged);
    EXPECT_EQ(merged.controlMask, c.expected) << "old control " << c.old;
    EXPECT_EQ(merged.controlBits, c.expected) << "old control " << c.old;
  }
}

TEST(AccessRightsTest, RealFolderAcceptsTheEntry) {
  test::TempDir dir;
  const std::wstring folder = dir.path().wstring();
  EXPECT_TRUE(AddAccountAceToFolder(folder.c_str(), L"users", GENERIC_ALL));
  EXPECT_TRUE(SetNullDacl(folder.c_str()));
  EXPECT_TRUE(AddAccountAceToFolder(folder.c_str(), L"Administrators", GENERIC_ALL));
}

TEST(AccessRightsTest, UnknownAccountIsReportedOnStandardOutput) {
  test::TempDir dir;
  const std::wstring folder = dir.path().wstring();
  ::testing::internal::CaptureStdout();
  const bool ok = AddAccountAceToFolder(folder.c_str(), L"NoSuchAccountHere", GENERIC_ALL);
  std::fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_EQ(out.rfind("LookupAccountName() failed. Error ", 0), 0u) << out;
}

}  // namespace
}  // namespace qrn
