// Library loading with LoadLibraryA and GetProcAddress.
#pragma once

#include "platform/library_loader.h"

namespace platform::win32 {

class Win32LibraryLoader final : public LibraryLoader {
  public:
    std::unique_ptr<LoadedLibrary> load(const std::string& path, WinError& error) override;
};

} // namespace platform::win32
