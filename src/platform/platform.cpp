#include "platform/platform.h"

namespace platform {

bool FileSystem::fileExists(const std::string& path) {
    const auto a = attributes(path);
    return a && (*a & attr::kDirectory) == 0;
}

bool FileSystem::folderExists(const std::string& path) {
    const auto a = attributes(path);
    return a && (*a & attr::kDirectory) != 0;
}

} // namespace platform
