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

std::optional<std::uint64_t> FileSystem::fileSize(const std::string& path) {
    WinError error = kErrorNone;
    const auto file = openFile(path, OpenMode::ReadExisting, error);
    std::uint64_t size = 0;
    if (!file || file->size(size) != kErrorNone)
        return std::nullopt;
    return size;
}

WinError readExactly(File& file, void* buffer, std::uint32_t size) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        std::uint32_t got = 0;
        if (const WinError error = file.read(out, size, got))
            return error;
        if (got == 0)
            return kErrorShortRead;
        out += got;
        size -= got;
    }
    return kErrorNone;
}

WinError writeAll(File& file, const void* buffer, std::uint32_t size) {
    std::uint32_t written = 0;
    if (const WinError error = file.write(buffer, size, written))
        return error;
    return written == size ? kErrorNone : kErrorShortRead;
}

} // namespace platform
