#include "system/uninstall_entry.h"

#include <exception>

#include "base/trace.h"
#include "platform/registry.h"
#include "system/platform_checks.h"
#include "system/saver_names.h"

namespace {

using platform::RegistryRoot;

constexpr const char* kEngineExtension = ".scr";

ResultCode registerUnder(platform::Platform& platform, RegistryRoot root,
                         const std::string& keyPath, const std::string& displayName,
                         const std::string& command, std::vector<RegistryRoot>* createdUnder) {
    try {
        platform::WinError error = platform::kErrorNone;
        const auto key = platform.registry.createKey(root, keyPath, error);
        if (!key)
            return result::kUninstallEntryNotWritten;
        if (createdUnder)
            createdUnder->push_back(root);
        if (key->setString(kDisplayNameValue, displayName) != platform::kErrorNone ||
            key->setString(kUninstallStringValue, command) != platform::kErrorNone)
            return result::kUninstallEntryNotWritten;
        return result::kOk;
    } catch (const std::exception& error) {
        trace("registerUninstallEntry", error.what());
        return result::kUninstallEntryNotWritten;
    }
}

// `missingValuesGone`: a value that is not there (a write of this run that
// failed) counts as deleted.
ResultCode removeUnder(platform::Platform& platform, RegistryRoot root, const std::string& keyPath,
                       bool missingValuesGone = false) {
    try {
        {
            platform::WinError error = platform::kErrorNone;
            const auto key = platform.registry.openKey(root, keyPath, error);
            if (!key)
                return result::kOk;
            const auto deleted = [&](const char* name) {
                const platform::WinError error = key->deleteValue(name);
                return error == platform::kErrorNone ||
                       (missingValuesGone && error == platform::kErrorFileNotFound);
            };
            if (!deleted(kDisplayNameValue) || !deleted(kUninstallStringValue))
                return result::kUninstallEntryNotRemoved;
        } // the key is closed before it is deleted
        if (platform.registry.deleteKey(root, keyPath) != platform::kErrorNone)
            return result::kUninstallEntryNotRemoved;
        return result::kOk;
    } catch (const std::exception& error) {
        trace("removeUninstallEntry", error.what());
        return result::kUninstallEntryNotRemoved;
    }
}

} // namespace

std::string uninstallKeyPath(std::string_view title) {
    if (title.empty() || title.find('\\') != std::string_view::npos ||
        title.find('\0') != std::string_view::npos)
        return std::string();
    return kUninstallKey + std::string(title);
}

ResultCode registerUninstallEntry(platform::Platform& platform, const ResourceTexts& texts,
                                  const std::string& systemDir, const std::string& title,
                                  const std::string& shortName,
                                  std::vector<RegistryRoot>* createdUnder) {
    trace("registerUninstallEntry", title);
    const std::string keyPath = uninstallKeyPath(title);
    if (keyPath.empty())
        return result::kUninstallEntryNotWritten;

    const std::string displayName = makeDisplayName(texts, title);
    std::string engine = systemDir + shortName + kEngineExtension;
    if (isWin9xFamily(platform.system)) {
        const std::string shortPath = platform.files.shortPathName(engine);
        if (!shortPath.empty())
            engine = shortPath;
    }
    const std::string command = engine + kUninstallSwitch;

    ResultCode code = registerUnder(platform, RegistryRoot::LocalMachine, keyPath, displayName,
                                    command, createdUnder);
    if (code != result::kOk)
        code = registerUnder(platform, RegistryRoot::CurrentUser, keyPath, displayName, command,
                             createdUnder);
    trace("registerUninstallEntry", static_cast<std::int64_t>(code));
    return code;
}

ResultCode removeUninstallEntry(platform::Platform& platform, const std::string& title) {
    trace("removeUninstallEntry", title);
    const std::string keyPath = uninstallKeyPath(title);
    if (keyPath.empty())
        return result::kOk; // no entry can have been written for it
    // When the entry under HKEY_LOCAL_MACHINE stays, one under
    // HKEY_CURRENT_USER is removed too, but the result still says that an
    // entry is left.
    const ResultCode code = removeUnder(platform, RegistryRoot::LocalMachine, keyPath);
    if (code != result::kOk)
        removeUnder(platform, RegistryRoot::CurrentUser, keyPath);
    trace("removeUninstallEntry", static_cast<std::int64_t>(code));
    return code;
}

ResultCode removeUninstallEntryUnder(platform::Platform& platform, const std::string& title,
                                     const std::vector<RegistryRoot>& roots) {
    trace("removeUninstallEntryUnder", title);
    const std::string keyPath = uninstallKeyPath(title);
    if (keyPath.empty())
        return result::kOk;
    ResultCode code = result::kOk;
    for (const RegistryRoot root : roots)
        if (removeUnder(platform, root, keyPath, true) != result::kOk)
            code = result::kUninstallEntryNotRemoved;
    return code;
}
