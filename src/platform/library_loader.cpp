#include "platform/library_loader.h"

namespace platform {

namespace {

bool isLibraryNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

} // namespace

std::optional<std::string> systemLibraryPath(std::string_view systemFolder, std::string_view name) {
    if (systemFolder.empty() || name.empty())
        return std::nullopt;
    for (const char c : name)
        if (!isLibraryNameCharacter(c))
            return std::nullopt;
    std::string path(systemFolder);
    if (path.back() != '\\')
        path += '\\';
    path.append(name);
    path += ".dll";
    return path;
}

} // namespace platform
