#include <shlobj.h>

#include "platform/win32/win32_platform.h"

namespace platform::win32 {

namespace {

constexpr DWORD kSystemDirectoryBuffer = 301;

template <typename Function> Function exportOf(LoadedLibrary& library, const char* name) {
    return reinterpret_cast<Function>(library.find(name));
}

} // namespace

std::optional<std::string> Win32SystemInfo::environmentVariable(const std::string& name) {
    std::string value(256, '\0');
    for (;;) {
        SetLastError(NO_ERROR);
        const DWORD n =
            GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
                return std::nullopt;
            return std::string();
        }
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.resize(n);
    }
}

std::string Win32SystemInfo::systemDirectory() {
    char buffer[kSystemDirectoryBuffer];
    const UINT n = GetSystemDirectoryA(buffer, kSystemDirectoryBuffer);
    if (n == 0 || n >= kSystemDirectoryBuffer)
        return std::string();
    return std::string(buffer, n);
}

std::optional<OsVersion> Win32SystemInfo::versionInfo() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    static_assert(sizeof(OSVERSIONINFOA) == 148);
    if (!GetVersionExA(&info))
        return std::nullopt;
    OsVersion v;
    v.platformId = info.dwPlatformId;
    v.major = info.dwMajorVersion;
    v.minor = info.dwMinorVersion;
    v.servicePack.assign(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof info.szCSDVersion));
    return v;
}

Wow64Answer Win32SystemInfo::queryWow64() {
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel)
        return Wow64Answer::ExportMissing;
    const auto query = reinterpret_cast<IsWow64Process>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
    if (!query)
        return Wow64Answer::ExportMissing;
    BOOL wow64 = FALSE;
    if (!query(GetCurrentProcess(), &wow64))
        return Wow64Answer::CallFailed;
    return wow64 ? Wow64Answer::Yes : Wow64Answer::No;
}

std::string Win32SystemInfo::moduleFileName() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

SpecialFolderLookup Win32SystemInfo::specialFolderLocation(int csidl) {
    SpecialFolderLookup lookup;
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(owner_, csidl, &list) != S_OK)
        return lookup;
    lookup.located = true;
    if (!list)
        return lookup;
    char buffer[MAX_PATH + 1] = {};
    if (SHGetPathFromIDListA(list, buffer))
        lookup.path = std::string(buffer);
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
    return lookup;
}

std::optional<std::string> Win32SystemInfo::folderPath(int csidl) {
    // Older systems have SHGetFolderPathA only in shfolder.dll.
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    Win32LibraryLoader libraries;
    for (const char* name : {"shell32", "shfolder"}) {
        WinError error = kErrorNone;
        const auto library = libraries.loadSystemLibrary(name, error);
        if (!library)
            continue;
        if (const auto query = exportOf<GetFolderPath>(*library, "SHGetFolderPathA")) {
            char buffer[MAX_PATH + 1] = {};
            if (query(owner_, csidl, nullptr, 0, buffer) != 0)
                return std::nullopt;
            return std::string(buffer);
        }
    }
    return std::nullopt;
}

std::string Win32SystemInfo::lowerCase(std::string_view text) {
    std::string lowered(text);
    if (!lowered.empty())
        CharLowerBuffA(lowered.data(), static_cast<DWORD>(lowered.size()));
    return lowered;
}

int Win32SystemInfo::compareText(std::string_view a, std::string_view b) {
    const int order = CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()),
                                     b.data(), static_cast<int>(b.size()));
    return order - CSTR_EQUAL;
}

std::string Win32SystemInfo::errorMessageText(std::int32_t code) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    while (n > 0 && (static_cast<unsigned char>(buffer[n - 1]) <= ' ' || buffer[n - 1] == '.'))
        --n;
    return std::string(buffer, n);
}

FileVersionLookup Win32SystemInfo::fileVersion(const std::string& path) {
    // version.dll by its full path: named in the import table it would be
    // looked for in the program's folder first (a KnownDLL only up to XP).
    using GetSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using GetInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryValue = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    FileVersionLookup lookup;
    Win32LibraryLoader libraries;
    WinError error = kErrorNone;
    const auto library = libraries.loadSystemLibrary("version", error);
    if (!library)
        return lookup;
    const auto getSize = exportOf<GetSize>(*library, "GetFileVersionInfoSizeA");
    const auto getInfo = exportOf<GetInfo>(*library, "GetFileVersionInfoA");
    const auto queryValue = exportOf<QueryValue>(*library, "VerQueryValueA");
    if (!getSize || !getInfo || !queryValue)
        return lookup;
    DWORD handle = 0;
    const DWORD size = getSize(path.c_str(), &handle);
    if (size == 0)
        return lookup;
    lookup.outcome = VersionResource::Unreadable;
    std::vector<char> data(size);
    if (!getInfo(path.c_str(), 0, size, data.data()))
        return lookup;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!queryValue(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return lookup;
    lookup.outcome = VersionResource::Found;
    lookup.version.fileVersionMS = fixed->dwFileVersionMS;
    lookup.version.fileVersionLS = fixed->dwFileVersionLS;
    return lookup;
}

std::optional<std::string> Win32SystemInfo::loadString(unsigned id) {
    // A string that fills the buffer may have been cut: asked again with more
    // room, up to the longest a string table holds.
    constexpr std::size_t kLongestString = 65535;
    std::string text(256, '\0');
    for (;;) {
        const int n =
            LoadStringA(GetModuleHandleA(nullptr), id, text.data(), static_cast<int>(text.size()));
        if (n <= 0)
            return std::nullopt;
        if (static_cast<std::size_t>(n) + 1 < text.size() || text.size() > kLongestString) {
            text.resize(static_cast<std::size_t>(n));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

} // namespace platform::win32
