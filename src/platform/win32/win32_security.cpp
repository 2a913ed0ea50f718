#include "platform/win32/win32_security.h"

#include "platform/win32/win32_platform.h"

#include <cstdio>
#include <vector>

namespace platform::win32 {

namespace {

// The token information classes and record that a header for Windows XP
// does not declare (Windows Vista added them).
constexpr int kTokenElevationClass = 20; // TokenElevation
struct TokenElevationRecord {
    DWORD tokenIsElevated;
};

using OpenProcessTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD, PDWORD);
using ConvertSidToStringSidFunction = BOOL(WINAPI*)(PSID, LPSTR*);
using ConvertSecurityTextFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

constexpr DWORD kSddlRevision1 = 1;

// An export of ADVAPI32, which the program imports and so has loaded; null
// where this Windows lacks it.
template <typename Function> Function advapi32Export(const char* name) {
    const HMODULE advapi32 = GetModuleHandleA("advapi32.dll");
    if (!advapi32)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(advapi32, name)));
}

// The process's token, opened for queries; closed when the object goes.
class ProcessToken {
  public:
    ProcessToken() {
        const auto open = advapi32Export<OpenProcessTokenFunction>("OpenProcessToken");
        if (!open) {
            error_ = ERROR_CALL_NOT_IMPLEMENTED;
            return;
        }
        if (!open(GetCurrentProcess(), TOKEN_QUERY, &token_)) {
            token_ = nullptr;
            error_ = GetLastError();
        }
    }
    ProcessToken(const ProcessToken&) = delete;
    ProcessToken& operator=(const ProcessToken&) = delete;
    ~ProcessToken() {
        if (token_)
            CloseHandle(token_);
    }
    WinError error() const { return error_; }

    // The information of that class; empty with `error` set on failure.
    std::vector<char> information(int infoClass, WinError& error) const {
        const auto query = advapi32Export<GetTokenInformationFunction>("GetTokenInformation");
        error = error_ ? error_ : (query ? kErrorNone : ERROR_CALL_NOT_IMPLEMENTED);
        if (error)
            return {};
        DWORD size = 0;
        query(token_, infoClass, nullptr, 0, &size);
        std::vector<char> buffer(size > 0 ? size : sizeof(TokenElevationRecord));
        if (!query(token_, infoClass, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
            error = GetLastError();
            return {};
        }
        return buffer;
    }

  private:
    HANDLE token_ = nullptr;
    WinError error_ = kErrorNone;
};

// The token user's SID as text ("S-1-5-21-..."); empty with `error` set on failure.
std::string currentUserSid(WinError& error) {
    const ProcessToken token;
    const std::vector<char> user = token.information(TokenUser, error);
    if (error)
        return {};
    const auto convert = advapi32Export<ConvertSidToStringSidFunction>("ConvertSidToStringSidA");
    if (!convert) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return {};
    }
    char* text = nullptr;
    if (!convert(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text)) {
        error = GetLastError();
        return {};
    }
    std::string sid = text;
    LocalFree(text);
    return sid;
}

std::string trusteeText(Trustee trustee, const std::string& userSid) {
    switch (trustee) {
    case Trustee::Administrators:
        return "BA";
    case Trustee::LocalSystem:
        return "SY";
    case Trustee::CurrentUser:
        return userSid;
    }
    return {};
}

} // namespace

std::string folderSecurityText(const FolderSecurity& security, const std::string& userSid) {
    // P: protected, nothing inherited from the parent; OICI: inherited by the
    // files and folders made inside.
    std::string text = "O:" + trusteeText(security.owner, userSid) + "D:P";
    for (const AccessEntry& entry : security.entries) {
        char rights[16];
        std::snprintf(rights, sizeof rights, "0x%lx", static_cast<unsigned long>(entry.rights));
        text +=
            std::string("(A;OICI;") + rights + ";;;" + trusteeText(entry.trustee, userSid) + ")";
    }
    return text;
}

SecurityDescriptor::~SecurityDescriptor() {
    if (descriptor_)
        LocalFree(descriptor_);
}

WinError SecurityDescriptor::make(const FolderSecurity& security) {
    WinError error = kErrorNone;
    const std::string sid = currentUserSid(error);
    if (error)
        return error;
    const auto convert = advapi32Export<ConvertSecurityTextFunction>(
        "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    if (!convert)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (descriptor_) {
        LocalFree(descriptor_);
        descriptor_ = nullptr;
    }
    const std::string text = folderSecurityText(security, sid);
    if (!convert(text.c_str(), kSddlRevision1, &descriptor_, nullptr)) {
        descriptor_ = nullptr;
        return GetLastError();
    }
    return kErrorNone;
}

bool Win32SystemInfo::runsElevated() {
    return processRunsElevated();
}

bool windows9x() {
    return (GetVersion() & 0x80000000u) != 0;
}

bool processRunsElevated() {
    // Windows before Vista (major version 6) have no elevation.
    const DWORD version = GetVersion();
    if ((version & 0x80000000u) != 0 || LOBYTE(LOWORD(version)) < 6)
        return false;
    const ProcessToken token;
    WinError error = kErrorNone;
    const std::vector<char> elevation = token.information(kTokenElevationClass, error);
    if (error || elevation.size() < sizeof(TokenElevationRecord))
        return true; // the safe side: see SystemInfo::runsElevated
    return reinterpret_cast<const TokenElevationRecord*>(elevation.data())->tokenIsElevated != 0;
}

} // namespace platform::win32
