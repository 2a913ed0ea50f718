// The registry part of the seam: keys below the roots the installer uses,
// opened with full access, string values, deletions. Failures come back as
// Windows error codes.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform {

enum class RegistryRoot {
    LocalMachine, // HKEY_LOCAL_MACHINE
    CurrentUser,  // HKEY_CURRENT_USER
    ClassesRoot,  // HKEY_CLASSES_ROOT (read only by the installer)
};

// An open key with full access rights (KEY_ALL_ACCESS). Closed when the
// object goes.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // Writes a string value (REG_SZ) with its terminating NUL.
    virtual WinError setString(const std::string& name, const std::string& value) = 0;
    virtual WinError deleteValue(const std::string& name) = 0;
    // Reads a string value (REG_SZ or REG_EXPAND_SZ, unexpanded) into
    // `value`; the empty name reads the key's default value.
    virtual WinError readString(const std::string& name, std::string& value) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // Opens the key, creating it and any missing keys above it; nothing and
    // the error when that fails.
    virtual std::unique_ptr<RegistryKey> createKey(RegistryRoot root, const std::string& path,
                                                   WinError& error) = 0;
    // Opens an existing key; nothing and the error when it is missing or
    // access is denied.
    virtual std::unique_ptr<RegistryKey> openKey(RegistryRoot root, const std::string& path,
                                                 WinError& error) = 0;
    // Deletes a key that has no sub-keys.
    virtual WinError deleteKey(RegistryRoot root, const std::string& path) = 0;
};

} // namespace platform
