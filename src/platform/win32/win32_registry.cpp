#include "platform/win32/win32_registry.h"

#include <algorithm>

namespace platform::win32 {

namespace {

HKEY rootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        break;
    }
    return HKEY_CURRENT_USER;
}

class Win32RegistryKey final : public RegistryKey {
  public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;
    ~Win32RegistryKey() override { RegCloseKey(key_); }

    WinError setString(const std::string& name, const std::string& value) override {
        return static_cast<WinError>(RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(value.c_str()),
                                                    static_cast<DWORD>(value.size() + 1)));
    }

    WinError deleteValue(const std::string& name) override {
        return static_cast<WinError>(RegDeleteValueA(key_, name.c_str()));
    }

    WinError readString(const std::string& name, std::string& value) override {
        value.clear();
        DWORD type = 0;
        DWORD size = 0;
        LONG status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return static_cast<WinError>(status);
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return ERROR_INVALID_DATA;
        std::string buffer(size + 1, '\0'); // room for a missing terminator
        status = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status != ERROR_SUCCESS)
            return static_cast<WinError>(status);
        buffer.resize(std::min<std::size_t>(size, buffer.size()));
        value = buffer.substr(0, buffer.find('\0'));
        return ERROR_SUCCESS;
    }

  private:
    HKEY key_;
};

} // namespace

std::unique_ptr<RegistryKey> Win32Registry::createKey(RegistryRoot root, const std::string& path,
                                                      WinError& error) {
    HKEY key = nullptr;
    error = static_cast<WinError>(RegCreateKeyExA(rootKey(root), path.c_str(), 0, nullptr,
                                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                                  &key, nullptr));
    if (error != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

std::unique_ptr<RegistryKey> Win32Registry::openKey(RegistryRoot root, const std::string& path,
                                                    WinError& error) {
    HKEY key = nullptr;
    error =
        static_cast<WinError>(RegOpenKeyExA(rootKey(root), path.c_str(), 0, KEY_ALL_ACCESS, &key));
    if (error != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

WinError Win32Registry::deleteKey(RegistryRoot root, const std::string& path) {
    return static_cast<WinError>(RegDeleteKeyA(rootKey(root), path.c_str()));
}

} // namespace platform::win32
