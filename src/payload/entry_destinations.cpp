#include "payload/entry_destinations.h"

#include <array>

#include "system/path_names.h"

namespace {

bool isFlashInstallerName(const std::string& name) {
    return name == kFlashInstallerName || name == kFlashInstaller10Name;
}

bool isDeviceName(std::string_view name) {
    // The part before the first dot decides: "CON.txt" is the console too.
    const std::string stem = lowerAscii(name.substr(0, name.find('.')));
    static constexpr std::array<std::string_view, 6> fixed = {"con", "prn",    "aux",
                                                              "nul", "clock$", "conin$"};
    for (std::string_view device : fixed) {
        if (stem == device)
            return true;
    }
    if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
        stem[3] >= '0' && stem[3] <= '9')
        return true;
    return stem == "conout$";
}

} // namespace

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
            return paths.workDir + "impborl.dll";
        return paths.workDir + name;
    case 7:
        return paths.workDir + name;
    default:
        return std::nullopt;
    }
}

bool libraryDestination(std::string_view path) { return path.ends_with(".dll"); }

std::string replaceExtension(std::string_view name, std::string_view extension) {
    const std::size_t dot = name.find_last_of('.');
    return std::string(name.substr(0, dot)) + std::string(extension);
}

bool safeEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    // Windows drops trailing dots and blanks, which would make two names one.
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !isDeviceName(name);
}

bool safeDataFileName(std::string_view name) {
    if (name.empty() || name.front() == '\\' || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = name.find_first_of("\\/", start);
        const std::string_view part =
            name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!safeEntryName(part))
            return false;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return true;
}
