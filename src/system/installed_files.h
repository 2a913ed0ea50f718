// The list of files that the expansion of the saver data file created.
#pragma once

#include <array>
#include <cstddef>
#include <string>

struct InstalledFiles {
    static constexpr std::size_t kCapacity = 1010;
    // Slots 1 to kCapacity hold the paths; slot 0 stays empty.
    std::array<std::string, kCapacity + 1> paths;
    std::size_t count = 0;
};

// Appends a path. When the list is full the path is not stored, the count
// stays, and the result is false.
bool recordInstalledFile(InstalledFiles& list, const std::string& path);
