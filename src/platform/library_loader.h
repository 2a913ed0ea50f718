// Loading a library at run time and finding its exports.
#pragma once

#include <memory>
#include <string>

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

class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    // LoadLibraryA: a path with a folder loads that file; a bare name goes
    // through the system's library search. Null and `error` set on failure.
    virtual std::unique_ptr<LoadedLibrary> load(const std::string& path, WinError& error) = 0;
};

} // namespace platform
