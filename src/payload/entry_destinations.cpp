#include "payload/entry_destinations.h"

#include "payload/compression/implode_library.h"
#include "system/path_names.h"

bool isFlashInstallerName(const std::string& name) {
    return name == kFlashInstallerName || name == kFlashInstaller10Name;
}

std::optional<std::string> entryDestination(const InstallerPaths& paths,
                                            const std::string& saverFolder,
                                            const PackageEntry& entry) {
    const std::string& name = entry.name;
    switch (entry.kind) {
    case 1:
    case 5:
    case 6:
    case 10:
        return saverFolder + name;
    case 2:
        return paths.systemDir + name;
    case 3:
        if (isFlashInstallerName(name))
            return paths.workDir + name;
        return paths.sharedSaverRoot + replaceExtension(name, ".dll");
    case 4:
        if (name == kImplodeLibraryEntryName)
            return paths.workDir + kImplodeLibraryName;
        return paths.workDir + name;
    case 7:
        return paths.workDir + name;
    default:
        return std::nullopt;
    }
}

bool libraryDestination(std::string_view path) {
    return path.ends_with(".dll");
}

std::string replaceExtension(std::string_view name, std::string_view extension) {
    const std::size_t dot = name.find_last_of('.');
    return std::string(name.substr(0, dot)) + std::string(extension);
}

bool safeEntryName(std::string_view name) {
    return isSafeFileName(name);
}

bool safeDataFileName(std::string_view name) {
    return isSafeRelativePath(name);
}
