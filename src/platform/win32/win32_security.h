// The security of the folders the installer protects, and whether the
// process runs elevated: ADVAPI32's token and security-descriptor calls.
//
// The calls that Windows 95, 98, ME and NT 4 lack are found in ADVAPI32 at
// run time, so that the program still starts there.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform::win32 {

// A security descriptor made from a FolderSecurity: owner, a protected DACL
// and its entries, each inherited by files and folders made inside.
class SecurityDescriptor {
  public:
    SecurityDescriptor() = default;
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    ~SecurityDescriptor();

    // Builds it through an SDDL text
    // (ConvertStringSecurityDescriptorToSecurityDescriptorA); the current
    // user is the token's user (GetTokenInformation, ConvertSidToStringSidA).
    // Returns 0 or the Windows error of the step that failed.
    WinError make(const FolderSecurity& security);
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// The SDDL text of a folder's security, with `userSid` for the current user:
// "O:BAD:P(A;OICI;0x1f01ff;;;BA)..." for owner Administrators and its entries.
std::string folderSecurityText(const FolderSecurity& security, const std::string& userSid);

// Whether the process runs elevated, as SystemInfo::runsElevated tells it.
bool processRunsElevated();

// Windows 95, 98 and ME: no security, no tokens, and no folder can be opened.
bool windows9x();

} // namespace platform::win32
