// Loading a library at run time and finding its exports.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// A function found in a loaded library, to be cast to its real type.
using ExportedFunction = void (*)();

// A loaded library; released when the object goes.
class LoadedLibrary {
  public:
    virtual ~LoadedLibrary() = default;
    // The export of that name, or null.
    virtual ExportedFunction find(const char* exportName) = 0;
};

// The file of the system library `name` in `systemFolder`: the folder, a
// backslash and the name with ".dll". Nothing when the folder is empty or the
// name is empty or holds anything but ASCII letters, digits, '_' and '-' (a
// folder, a drive, an extension, a wildcard).
std::optional<std::string> systemLibraryPath(std::string_view systemFolder, std::string_view name);

class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    // LoadLibraryA: a path with a folder loads that file; a bare name goes
    // through the system's library search. Null and `error` set on failure.
    virtual std::unique_ptr<LoadedLibrary> load(const std::string& path, WinError& error) = 0;
    // One of the system's own libraries, from the system folder only: `name`
    // ("version") becomes GetSystemDirectoryA + "\\version.dll", loaded with
    // LoadLibraryExA and LOAD_WITH_ALTERED_SEARCH_PATH, so that the libraries
    // it needs in turn are looked for in the system folder, not in the
    // program's. A name with a folder, a drive or an extension in it is
    // refused with kErrorInvalidParameter. Null and `error` set on failure
    // (kErrorModNotFound when the system has no such library).
    virtual std::unique_ptr<LoadedLibrary> loadSystemLibrary(const std::string& name,
                                                             WinError& error) = 0;
};

} // namespace platform
