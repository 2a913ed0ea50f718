#include "system/installer_paths.h"

#include "system/path_names.h"

namespace {

std::string variableFolder(platform::SystemInfo& system, const char* name) {
    const auto value = system.environmentVariable(name);
    return value && !value->empty() ? withTrailingBackslash(*value) : std::string();
}

} // namespace

std::string getSpecialFolderPath(platform::SystemInfo& system, int csidlNumber) {
    const platform::SpecialFolderLookup lookup = system.specialFolderLocation(csidlNumber);
    if (lookup.located)
        return lookup.path.value_or(std::string());
    if (csidlNumber == csidl::kAppData || csidlNumber == csidl::kPersonal)
        return system.folderPath(csidlNumber).value_or(std::string());
    return std::string();
}

namespace {

// Creates the first free folder prefix + 1, 2, ... with `create`, which
// answers the Windows error of one attempt.
template <typename Create>
ResultCode makeUniqueFolder(platform::Platform& platform, const std::string& prefix,
                            std::string& out, Create create) {
    const std::string localAppData = getSpecialFolderPath(platform.system, csidl::kLocalAppData);
    if (localAppData.empty()) {
        out.clear();
        return result::kSystemFolderUnknown;
    }
    const std::string base = withTrailingBackslash(localAppData) + kCompanyFolder;
    if (!platform.files.folderExists(base))
        platform.files.createFolder(base);

    const std::string stem = base + prefix;
    // When every candidate exists already no creation was tried; report that
    // as "already exists" rather than as success.
    platform::WinError lastError = platform::kErrorAlreadyExists;
    for (int n = 1; n <= kWorkFolderCandidates; ++n) {
        const std::string candidate = stem + std::to_string(n);
        if (platform.files.folderExists(candidate))
            continue;
        lastError = create(candidate);
        if (lastError == platform::kErrorNone) {
            out = candidate + '\\';
            return result::kOk;
        }
    }
    // No folder was made: nothing may be deleted in its name later.
    out.clear();
    return static_cast<ResultCode>(lastError);
}

} // namespace

ResultCode makeUniqueWorkFolder(platform::Platform& platform, const std::string& prefix,
                                std::string& out) {
    return makeUniqueFolder(platform, prefix, out, [&](const std::string& candidate) {
        return platform.files.createFolder(candidate);
    });
}

ResultCode makeHeldWorkFolder(platform::Platform& platform, const std::string& prefix,
                              const std::optional<platform::FolderSecurity>& security,
                              std::string& out, std::unique_ptr<platform::HeldPath>& hold) {
    hold.reset();
    return makeUniqueFolder(platform, prefix, out, [&](const std::string& candidate) {
        platform::WinError error = platform::kErrorNone;
        hold = platform.files.createHeldFolder(candidate, security, error);
        return hold ? platform::kErrorNone : error;
    });
}

std::vector<std::string> protectedFolders(platform::Platform& platform,
                                          const InstallerPaths& paths) {
    std::vector<std::string> folders;
    const auto add = [&](const std::string& folder) {
        if (!folder.empty())
            folders.push_back(withTrailingBackslash(folder));
    };
    add(paths.windowsDir);
    add(paths.systemDir);
    add(paths.nativeSystemDir);
    add(paths.sharedSaverRoot);
    for (const char* variable : {"SystemRoot", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
                                 "CommonProgramFiles", "USERPROFILE", "ALLUSERSPROFILE"})
        add(variableFolder(platform.system, variable));
    for (const int folder : {csidl::kCommonAppData, csidl::kAppData, csidl::kPersonal})
        add(getSpecialFolderPath(platform.system, folder));
    const std::string localAppData = getSpecialFolderPath(platform.system, csidl::kLocalAppData);
    if (!localAppData.empty()) {
        add(localAppData);
        add(withTrailingBackslash(localAppData) + kCompanyFolder);
    }
    return folders;
}

platform::FolderSecurity workFolderSecurity() {
    using platform::Trustee;
    return {Trustee::Administrators,
            {{Trustee::Administrators, platform::rights::kFullAccess},
             {Trustee::LocalSystem, platform::rights::kFullAccess},
             {Trustee::CurrentUser, platform::rights::kReadAndExecute}}};
}

ResultCode initInstallerPaths(platform::Platform& platform, const std::string& executablePath,
                              InstallerPaths& paths) {
    paths = InstallerPaths{};
    paths.windowsDir = variableFolder(platform.system, "WINDIR");
    if (paths.windowsDir.empty())
        return result::kSystemFolderUnknown;

    const std::string systemDir = platform.system.systemDirectory();
    if (systemDir.empty())
        return result::kSystemFolderUnknown;
    paths.systemDir = withTrailingBackslash(systemDir);

    // Windows 95, 98 and ME have no SystemRoot. Only 64-bit Windows uses the
    // native system folder, so an unknown one stays empty here and whoever
    // would build on it checks first.
    const std::string systemRoot = variableFolder(platform.system, "SystemRoot");
    if (!systemRoot.empty())
        paths.nativeSystemDir = systemRoot + "Sysnative\\";

    // Only named here: the saver folder that needs it is refused later when
    // the shell knows no common application data.
    const std::string commonAppData = getSpecialFolderPath(platform.system, csidl::kCommonAppData);
    if (!commonAppData.empty())
        paths.sharedSaverRoot = withTrailingBackslash(commonAppData) + kCompanyFolder;

    const std::string exeFolder = folderPart(executablePath);
    if (exeFolder.empty())
        return result::kSystemFolderUnknown;
    paths.exeDir = withTrailingBackslash(exeFolder);

    paths.protectedFolders = protectedFolders(platform, paths);

    std::optional<platform::FolderSecurity> security;
    if (platform.system.runsElevated())
        security = workFolderSecurity();
    return makeHeldWorkFolder(platform, kWorkFolderPrefix, security, paths.workDir,
                              paths.workFolderHold);
}
