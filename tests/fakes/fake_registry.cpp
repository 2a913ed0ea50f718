#include "fakes/fake_registry.h"

#include <stdexcept>

namespace fake {

using platform::RegistryRoot;
using platform::WinError;

namespace {

constexpr WinError kErrorKeyDeleted = 1018; // ERROR_KEY_DELETED

std::string upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

} // namespace

// A key opened through the seam. It finds its key again at every call, so
// that a key deleted while open answers as Windows does.
class FakeRegistryKey final : public platform::RegistryKey {
  public:
    FakeRegistryKey(FakeRegistry& registry, FakeRegistry::KeyId id)
        : registry_(registry), id_(std::move(id)) {
        ++registry_.openKeys_;
    }
    FakeRegistryKey(const FakeRegistryKey&) = delete;
    FakeRegistryKey& operator=(const FakeRegistryKey&) = delete;
    ~FakeRegistryKey() override { --registry_.openKeys_; }

    WinError setString(const std::string& name, const std::string& value) override {
        if (registry_.throwOnChange_)
            throw std::runtime_error("registry write failed");
        const auto fault = registry_.writeErrors_.find(upper(name));
        if (fault != registry_.writeErrors_.end())
            return fault->second;
        FakeRegistry::Key* key = registry_.find(id_);
        if (!key)
            return kErrorKeyDeleted;
        key->values[upper(name)] = {name, value};
        return platform::kErrorNone;
    }

    WinError deleteValue(const std::string& name) override {
        if (registry_.throwOnChange_)
            throw std::runtime_error("registry deletion failed");
        const auto fault = registry_.deleteErrors_.find(upper(name));
        if (fault != registry_.deleteErrors_.end())
            return fault->second;
        FakeRegistry::Key* key = registry_.find(id_);
        if (!key)
            return kErrorKeyDeleted;
        if (key->values.erase(upper(name)) == 0)
            return platform::kErrorFileNotFound;
        return platform::kErrorNone;
    }

    WinError readString(const std::string& name, std::string& value) override {
        value.clear();
        const FakeRegistry::Key* key = registry_.find(id_);
        if (!key)
            return kErrorKeyDeleted;
        const auto it = key->values.find(upper(name));
        if (it == key->values.end())
            return platform::kErrorFileNotFound;
        value = it->second.second;
        return platform::kErrorNone;
    }

  private:
    FakeRegistry& registry_;
    FakeRegistry::KeyId id_;
};

std::optional<std::string> FakeRegistry::normalise(const std::string& path) {
    // Every part of the path must name a key: no empty part, no leading,
    // trailing or doubled backslash.
    if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string::npos)
        return std::nullopt;
    return upper(path);
}

FakeRegistry::Key* FakeRegistry::find(const KeyId& id) {
    const auto it = keys_.find(id);
    return it == keys_.end() ? nullptr : &it->second;
}

const FakeRegistry::Key* FakeRegistry::find(const KeyId& id) const {
    const auto it = keys_.find(id);
    return it == keys_.end() ? nullptr : &it->second;
}

void FakeRegistry::addKey(RegistryRoot root, const std::string& path) {
    const auto normal = normalise(path);
    if (!normal)
        throw std::logic_error("not a key path: " + path);
    for (std::size_t end = normal->find('\\'); end != std::string::npos;
         end = normal->find('\\', end + 1))
        keys_[{root, normal->substr(0, end)}];
    keys_[{root, *normal}];
}

void FakeRegistry::setValue(RegistryRoot root, const std::string& path, const std::string& name,
                            const std::string& value) {
    addKey(root, path);
    keys_[{root, upper(path)}].values[upper(name)] = {name, value};
}

bool FakeRegistry::keyExists(RegistryRoot root, const std::string& path) const {
    return find({root, upper(path)}) != nullptr;
}

std::optional<std::string> FakeRegistry::value(RegistryRoot root, const std::string& path,
                                               const std::string& name) const {
    const Key* key = find({root, upper(path)});
    if (!key)
        return std::nullopt;
    const auto it = key->values.find(upper(name));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

std::vector<std::string> FakeRegistry::valueNames(RegistryRoot root,
                                                  const std::string& path) const {
    std::vector<std::string> names;
    if (const Key* key = find({root, upper(path)})) {
        for (const auto& [upperName, entry] : key->values)
            names.push_back(entry.first);
    }
    return names;
}

std::vector<std::string> FakeRegistry::contents() const {
    std::vector<std::string> lines;
    for (const auto& [id, key] : keys_) {
        const std::string path = std::to_string(static_cast<int>(id.first)) + "\\" + id.second;
        lines.push_back(path);
        for (const auto& [upper, value] : key.values)
            lines.push_back(path + "\\" + value.first + "=" + value.second);
    }
    return lines;
}

std::size_t FakeRegistry::keyCount(RegistryRoot root) const {
    std::size_t count = 0;
    for (const auto& [id, key] : keys_)
        count += id.first == root ? 1 : 0;
    return count;
}

void FakeRegistry::failWritingValue(const std::string& name, WinError error) {
    writeErrors_[upper(name)] = error;
}

void FakeRegistry::failDeletingValue(const std::string& name, WinError error) {
    deleteErrors_[upper(name)] = error;
}

std::optional<std::string> FakeRegistry::reachableKey(RegistryRoot root, const std::string& path,
                                                      WinError& error) const {
    const auto normal = normalise(path);
    if (!normal) {
        error = platform::kErrorInvalidParameter;
        return std::nullopt;
    }
    if (refused_.count(root)) {
        error = platform::kErrorAccessDenied;
        return std::nullopt;
    }
    return normal;
}

std::unique_ptr<platform::RegistryKey>
FakeRegistry::createKey(RegistryRoot root, const std::string& path, WinError& error) {
    const auto normal = reachableKey(root, path, error);
    if (!normal)
        return nullptr;
    addKey(root, path);
    error = platform::kErrorNone;
    return std::make_unique<FakeRegistryKey>(*this, KeyId{root, *normal});
}

std::unique_ptr<platform::RegistryKey>
FakeRegistry::openKey(RegistryRoot root, const std::string& path, WinError& error) {
    const auto normal = reachableKey(root, path, error);
    if (!normal)
        return nullptr;
    if (!find({root, *normal})) {
        error = platform::kErrorFileNotFound;
        return nullptr;
    }
    error = platform::kErrorNone;
    return std::make_unique<FakeRegistryKey>(*this, KeyId{root, *normal});
}

WinError FakeRegistry::deleteKey(RegistryRoot root, const std::string& path) {
    const auto normal = normalise(path);
    if (!normal)
        return platform::kErrorInvalidParameter;
    if (refused_.count(root))
        return platform::kErrorAccessDenied;
    if (throwOnChange_)
        throw std::runtime_error("registry deletion failed");
    if (keyDeleteError_ != platform::kErrorNone)
        return keyDeleteError_;
    const auto it = keys_.find({root, *normal});
    if (it == keys_.end())
        return platform::kErrorFileNotFound;
    const std::string below = *normal + "\\";
    const auto sub = keys_.lower_bound({root, below});
    if (sub != keys_.end() && sub->first.first == root &&
        sub->first.second.compare(0, below.size(), below) == 0)
        return platform::kErrorAccessDenied; // it has sub-keys
    keys_.erase(it);
    return platform::kErrorNone;
}

} // namespace fake
