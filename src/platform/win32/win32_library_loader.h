// Library loading with LoadLibraryA and GetProcAddress, and the start-up steps
// that keep the program's own folder out of the system's library search.
#pragma once

#include <memory>
#include <vector>

#include "platform/library_loader.h"

namespace platform::win32 {

class Win32LibraryLoader final : public LibraryLoader {
  public:
    std::unique_ptr<LoadedLibrary> load(const std::string& path, WinError& error) override;
    std::unique_ptr<LoadedLibrary> loadSystemLibrary(const std::string& name,
                                                     WinError& error) override;
};

// The first step of the program, before any window: the system shows no
// critical-error boxes (SetErrorMode with SEM_FAILCRITICALERRORS), and a
// library asked for by bare name is looked for in the system folder only
// (SetDefaultDllDirectories), or at least not in the current folder
// (SetDllDirectoryA with ""), where the system has those; both are looked up
// in kernel32 at run time, so that the program still starts without them.
void restrictLibrarySearch();

// The system's libraries that the system itself loads later on the program's
// behalf, by bare name: loaded now from the system folder and held for as
// long as the result lives, so that a later load by name finds them loaded
// and no copy in the program's folder is taken. A library that the system
// does not have is left out.
std::vector<std::unique_ptr<LoadedLibrary>> loadLateSystemLibraries(LibraryLoader& libraries);

} // namespace platform::win32
