// The registry through the ANSI advapi32 calls.
#pragma once

#include <windows.h>

#include "platform/registry.h"

namespace platform::win32 {

class Win32Registry final : public Registry {
  public:
    std::unique_ptr<RegistryKey> createKey(RegistryRoot root, const std::string& path,
                                           WinError& error) override;
    std::unique_ptr<RegistryKey> openKey(RegistryRoot root, const std::string& path,
                                         WinError& error) override;
    WinError deleteKey(RegistryRoot root, const std::string& path) override;
};

} // namespace platform::win32
