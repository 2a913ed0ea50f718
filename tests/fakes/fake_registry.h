// An in-memory registry for the unit tests. Key and value names compare
// without regard to case, as in Windows. Faults: a root that refuses every
// opening with full access (as HKEY_LOCAL_MACHINE does for a user without
// administrator rights), values whose writing or deletion fails, keys whose
// deletion fails, and changes that throw.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace fake {

class FakeRegistry final : public platform::Registry {
  public:
    // Building the world and looking at it.
    void addKey(platform::RegistryRoot root, const std::string& path);
    void setValue(platform::RegistryRoot root, const std::string& path, const std::string& name,
                  const std::string& value);
    bool keyExists(platform::RegistryRoot root, const std::string& path) const;
    std::optional<std::string> value(platform::RegistryRoot root, const std::string& path,
                                     const std::string& name) const;
    std::vector<std::string> valueNames(platform::RegistryRoot root, const std::string& path) const;
    std::size_t keyCount(platform::RegistryRoot root) const;
    // Every key and value, one line each ("root\\KEY" or "root\\KEY\\name=value",
    // key paths in upper case), in a fixed order: two registries hold the
    // same when their lines are equal.
    std::vector<std::string> contents() const;
    int openKeys() const { return openKeys_; }

    // Faults.
    void refuseAccess(platform::RegistryRoot root) { refused_.insert(root); }
    void failWritingValue(const std::string& name, platform::WinError error);
    void failDeletingValue(const std::string& name, platform::WinError error);
    void failDeletingKeys(platform::WinError error) { keyDeleteError_ = error; }
    void throwOnChange(bool on) { throwOnChange_ = on; }

    // The seam.
    std::unique_ptr<platform::RegistryKey> createKey(platform::RegistryRoot root,
                                                     const std::string& path,
                                                     platform::WinError& error) override;
    std::unique_ptr<platform::RegistryKey> openKey(platform::RegistryRoot root,
                                                   const std::string& path,
                                                   platform::WinError& error) override;
    platform::WinError deleteKey(platform::RegistryRoot root, const std::string& path) override;

  private:
    friend class FakeRegistryKey;
    using KeyId = std::pair<platform::RegistryRoot, std::string>; // path in upper case
    struct Key {
        std::map<std::string, std::pair<std::string, std::string>> values; // by upper-case name
    };
    static std::optional<std::string> normalise(const std::string& path);
    // The normalised path when the key may be reached under `root`;
    // otherwise nothing, with `error` set.
    std::optional<std::string> reachableKey(platform::RegistryRoot root, const std::string& path,
                                            platform::WinError& error) const;
    Key* find(const KeyId& id);
    const Key* find(const KeyId& id) const;

    std::map<KeyId, Key> keys_;
    std::set<platform::RegistryRoot> refused_;
    std::map<std::string, platform::WinError> writeErrors_;  // by upper-case name
    std::map<std::string, platform::WinError> deleteErrors_; // by upper-case name
    platform::WinError keyDeleteError_ = 0;
    bool throwOnChange_ = false;
    int openKeys_ = 0;
};

} // namespace fake
