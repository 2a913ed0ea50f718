#include "system/installed_files.h"

bool recordInstalledFile(InstalledFiles& list, const std::string& path) {
    if (list.count >= InstalledFiles::kCapacity)
        return false;
    ++list.count;
    list.paths[list.count] = path;
    return true;
}
