#include "platform/win32/win32_library_loader.h"

#include <windows.h>

#include <array>

namespace platform::win32 {

namespace {

constexpr DWORD kSystemDirectoryBuffer = MAX_PATH + 1;
// LOAD_LIBRARY_SEARCH_SYSTEM32, of Windows 8 and of Windows Vista and 7 with
// update KB2533623; the headers show it only to programs for those.
constexpr DWORD kSearchSystemFolderOnly = 0x00000800;

class Win32Library final : public LoadedLibrary {
  public:
    explicit Win32Library(HMODULE module) : module_(module) {}
    Win32Library(const Win32Library&) = delete;
    Win32Library& operator=(const Win32Library&) = delete;
    ~Win32Library() override { FreeLibrary(module_); }

    ExportedFunction find(const char* exportName) override {
        return reinterpret_cast<ExportedFunction>(GetProcAddress(module_, exportName));
    }

  private:
    HMODULE module_;
};

std::unique_ptr<LoadedLibrary> held(HMODULE module, WinError& error) {
    if (!module) {
        error = GetLastError();
        return nullptr;
    }
    error = kErrorNone;
    return std::make_unique<Win32Library>(module);
}

template <typename Function> Function kernelExport(const char* name) {
    // kernel32 is loaded in every process, and always from the system folder.
    const HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

// Libraries that Windows loads for the program after it has started, by bare
// name, from a search that begins in the program's folder: none of them is
// among the KnownDLLs that Windows always takes from the system folder.
constexpr std::array kLateSystemLibraries = {
    "uxtheme",     // Windows XP and later: themed windows and controls, by user32 and comctl32
    "dwmapi",      // Windows Vista and later: the desktop composition, by uxtheme and user32
    "cryptbase",   // Windows 7 and later: advapi32's random numbers and base cryptography
    "userenv",     // Windows Vista and later: shell32's profile and environment queries
    "profapi",     // Windows 7 and later: userenv's profile paths
    "propsys",     // Windows Vista and later: shell32's property system
    "apphelp",     // Windows XP and later: the compatibility shims, by the system's loader
    "version",     // Windows Vista and later: shell32's file version queries (a KnownDLL on XP)
    "oleacc",      // Windows 98 and later: accessibility, by comctl32 when a screen reader asks
    "ntmarta",     // Windows 2000 and later: advapi32's access rights of files and folders
    "textshaping", // Windows 11: text layout of the edit and rich-edit controls
};

} // namespace

std::unique_ptr<LoadedLibrary> Win32LibraryLoader::load(const std::string& path, WinError& error) {
    return held(LoadLibraryA(path.c_str()), error);
}

std::unique_ptr<LoadedLibrary> Win32LibraryLoader::loadSystemLibrary(const std::string& name,
                                                                     WinError& error) {
    char folder[kSystemDirectoryBuffer];
    const UINT length = GetSystemDirectoryA(folder, kSystemDirectoryBuffer);
    if (length == 0 || length >= kSystemDirectoryBuffer) {
        error = length == 0 ? GetLastError() : kErrorInvalidParameter;
        return nullptr;
    }
    const std::optional<std::string> path =
        systemLibraryPath(std::string_view(folder, length), name);
    if (!path) {
        error = kErrorInvalidParameter;
        return nullptr;
    }
    return held(LoadLibraryExA(path->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), error);
}

void restrictLibrarySearch() {
    // A missing disk or library is reported by the code that met it, not by a
    // box of the system's that waits for the user.
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS);

    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDefault =
            kernelExport<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
        setDefault && setDefault(kSearchSystemFolderOnly))
        return;
    // Windows XP SP1 to Windows 7 without KB2533623: the program's folder is
    // still searched, but the current folder no longer is. Windows 9x, NT 4,
    // 2000 and XP without a service pack have neither call.
    using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
    if (const auto setDirectory = kernelExport<SetDllDirectoryFunction>("SetDllDirectoryA"))
        setDirectory("");
}

std::vector<std::unique_ptr<LoadedLibrary>> loadLateSystemLibraries(LibraryLoader& libraries) {
    std::vector<std::unique_ptr<LoadedLibrary>> loaded;
    for (const char* name : kLateSystemLibraries) {
        WinError error = kErrorNone;
        if (auto library = libraries.loadSystemLibrary(name, error))
            loaded.push_back(std::move(library));
    }
    return loaded;
}

} // namespace platform::win32
