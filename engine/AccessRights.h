// Access rights of the product's data folder: one access-allowed entry for
// a named account merged into a folder's DACL in canonical order.
//
// Failures are reported as one wide line on standard output (wprintf) with
// the last-error code, not through the log; the folder's security is then
// left unchanged.
#pragma once

#include <windows.h>

#include "base/Owners.h"

namespace qrn {

// The new DACL and the control bits to carry over from the old descriptor.
struct MergedDacl {
  UniqueHeapBlock acl;  // an ACL, from the process heap
  SECURITY_DESCRIPTOR_CONTROL controlMask = 0;
  SECURITY_DESCRIPTOR_CONTROL controlBits = 0;
};

// Builds the DACL that AddAccountAceToFolder writes, from the folder's
// current security descriptor (absolute or self-relative): its explicit
// entries less those for `sid`, then the new entry (mask, inherited by files
// and sub-folders), then all inherited entries. A DACL present but NULL
// counts as absent. The control bits carry SE_DACL_AUTO_INHERITED (as
// auto-inherit-req + auto-inherited) or else SE_DACL_PROTECTED over.
bool MergeAccountAce(PSECURITY_DESCRIPTOR current, PSID sid, DWORD mask, MergedDacl* merged);

// Resolves `account` on the local machine, reads the folder's DACL, merges
// the new entry and writes the DACL back. True only when it was written.
bool AddAccountAceToFolder(const wchar_t* folder, const wchar_t* account, DWORD mask);

// Gives the folder a NULL DACL (full access for everyone). Results are not
// looked at; always true.
bool SetNullDacl(const wchar_t* folder);

}  // namespace qrn
