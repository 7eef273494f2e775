#include "engine/AccessRights.h"

#include <cstdio>
#include <cwchar>
#include <cstring>

namespace qrn {
namespace {

using AddAccessAllowedAceExFn = BOOL(WINAPI*)(PACL, DWORD, DWORD, DWORD, PSID);
using SetSecurityDescriptorControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                     SECURITY_DESCRIPTOR_CONTROL);

constexpr DWORD kEmptyAclSize = sizeof(ACL);  // 8 bytes: an ACL header without entries
// An access-allowed entry is its 8-byte header and mask followed by the SID;
// the 4 bytes of its SidStart field are covered by the SID's own length.
constexpr DWORD kAllowedAceOverhead = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
constexpr DWORD kAceSidOffset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

// Reports a failed step with the thread's last-error code, read first.
bool Fail(const wchar_t* format) {
  const DWORD error = GetLastError();
  std::wprintf(format, static_cast<int>(error));
  return false;
}

UniqueHeapBlock HeapBlock(SIZE_T bytes) {
  return UniqueHeapBlock(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
}

// Whether the entry's SID field (after header and mask) is `sid`. The entry
// must be long enough to hold it: a short entry of another kind never
// matches, and its bytes beyond its own size are never read.
bool AceHoldsSid(const ACE_HEADER* ace, PSID sid, DWORD sidLength) {
  if (ace->AceSize < kAceSidOffset + sidLength) return false;
  return std::memcmp(reinterpret_cast<const BYTE*>(ace) + kAceSidOffset, sid, sidLength) == 0;
}

// The entry points this code looks up by name, in the already loaded advapi32.
template <typename Fn>
Fn Advapi32Function(const char* name) {
  HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  return advapi != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(advapi, name))) : nullptr;
}

}  // namespace

bool MergeAccountAce(PSECURITY_DESCRIPTOR current, PSID sid, DWORD mask, MergedDacl* merged) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL old = nullptr;
  if (!GetSecurityDescriptorDacl(current, &present, &old, &defaulted)) {
    return Fail(L"GetSecurityDescriptorDacl() failed. Error %d\n");
  }
  if (!present) old = nullptr;  // present but NULL counts as absent too

  ACL_SIZE_INFORMATION info{};
  info.AclBytesInUse = kEmptyAclSize;
  if (old != nullptr && !GetAclInformation(old, &info, sizeof info, AclSizeInformation)) {
    return Fail(L"GetAclInformation() failed. Error %d\n");
  }
  const DWORD sidLength = GetLengthSid(sid);
  const DWORD newSize = info.AclBytesInUse + kAllowedAceOverhead + sidLength;
  UniqueHeapBlock block = HeapBlock(newSize);
  if (!block) return Fail(L"HeapAlloc() failed. Error %d\n");
  PACL acl = static_cast<PACL>(block.get());
  if (!InitializeAcl(acl, newSize, ACL_REVISION)) return Fail(L"InitializeAcl() failed. Error %d\n");

  // Explicit entries first, less any for this account; stop at the first
  // inherited entry.
  DWORD index = 0;
  for (; old != nullptr && index < info.AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(old, index, &entry)) return Fail(L"GetAce() failed. Error %d\n");
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERITED_ACE) break;
    if (AceHoldsSid(header, sid, sidLength)) continue;
    if (!AddAce(acl, ACL_REVISION, MAXDWORD, entry, header->AceSize)) return Fail(L"AddAce() failed. Error %d\n");
  }

  const auto addAllowed = Advapi32Function<AddAccessAllowedAceExFn>("AddAccessAllowedAceEx");
  if (addAllowed == nullptr ||
      !addAllowed(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, mask, sid)) {
    return Fail(L"AddAccessAllowedAceEx() failed. Error %d\n");
  }

  // Then every remaining entry, inherited ones included, unchanged.
  for (; old != nullptr && index < info.AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(old, index, &entry)) return Fail(L"GetAce() failed. Error %d\n");
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (!AddAce(acl, ACL_REVISION, MAXDWORD, entry, header->AceSize)) return Fail(L"AddAce() failed. Error %d\n");
  }

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(current, &control, &revision)) {
    return Fail(L"GetSecurityDescriptorControl() failed.Error %d\n");
  }
  merged->controlMask = 0;
  merged->controlBits = 0;
  if (control & SE_DACL_AUTO_INHERITED) {
    merged->controlMask = merged->controlBits = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
  } else if (control & SE_DACL_PROTECTED) {
    merged->controlMask = merged->controlBits = SE_DACL_PROTECTED;
  }
  merged->acl = std::move(block);
  return true;
}

bool AddAccountAceToFolder(const wchar_t* folder, const wchar_t* account, DWORD mask) {
  // The account: sizes first, then the SID and its domain.
  DWORD sidSize = 0;
  DWORD domainLength = 0;
  SID_NAME_USE use = SidTypeUnknown;
  if (!LookupAccountNameW(nullptr, account, nullptr, &sidSize, nullptr, &domainLength, &use) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return Fail(L"LookupAccountName() failed. Error %d\n");
  }
  UniqueHeapBlock sid = HeapBlock(sidSize);
  if (!sid) return Fail(L"HeapAlloc() failed. Error %d\n");
  UniqueHeapBlock domain = HeapBlock((domainLength + 1) * sizeof(wchar_t));
  if (!domain) return Fail(L"HeapAlloc() failed. Error %d\n");
  if (!LookupAccountNameW(nullptr, account, sid.get(), &sidSize, static_cast<wchar_t*>(domain.get()), &domainLength,
                          &use)) {
    return Fail(L"LookupAccountName() failed. Error %d\n");
  }

  // The folder's current DACL.
  DWORD needed = 0;
  if (!GetFileSecurityW(folder, DACL_SECURITY_INFORMATION, nullptr, 0, &needed) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return Fail(L"GetFileSecurity() failed. Error %d\n");
  }
  UniqueHeapBlock current = HeapBlock(needed);
  if (!current) return Fail(L"HeapAlloc() failed. Error %d\n");
  if (!GetFileSecurityW(folder, DACL_SECURITY_INFORMATION, current.get(), needed, &needed)) {
    return Fail(L"GetFileSecurity() failed. Error %d\n");
  }

  SECURITY_DESCRIPTOR descriptor{};
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    return Fail(L"InitializeSecurityDescriptor() failed.Error %d\n");
  }
  MergedDacl merged;
  if (!MergeAccountAce(current.get(), sid.get(), mask, &merged)) return false;
  if (!SetSecurityDescriptorDacl(&descriptor, TRUE, static_cast<PACL>(merged.acl.get()), FALSE)) {
    return Fail(L"SetSecurityDescriptorDacl() failed. Error %d\n");
  }
  if (merged.controlMask != 0) {
    // Without the entry point the inheritance state is not carried over.
    const auto setControl = Advapi32Function<SetSecurityDescriptorControlFn>("SetSecurityDescriptorControl");
    if (setControl != nullptr && !setControl(&descriptor, merged.controlMask, merged.controlBits)) {
      return Fail(L"SetSecurityDescriptorControl() failed.Error %d\n");
    }
  }
  if (!SetFileSecurityW(folder, DACL_SECURITY_INFORMATION, &descriptor)) {
    return Fail(L"SetFileSecurity() failed. Error %d\n");
  }
  return true;
}

bool SetNullDacl(const wchar_t* folder) {
  SECURITY_DESCRIPTOR descriptor{};
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SetFileSecurityW(folder, DACL_SECURITY_INFORMATION, &descriptor);
  return true;
}

}  // namespace qrn
