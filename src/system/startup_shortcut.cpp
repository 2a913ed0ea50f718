#include "system/startup_shortcut.h"

#include "base/trace.h"
#include "system/crc32.h"
#include "system/file_operations.h"

std::string startupShortcutName(platform::UserInterface& ui, const std::string& executablePath) {
    std::uint32_t crc = 0;
    crc32OfText(ui, executablePath, crc);
    return std::to_string(crc) + kStartupShortcutSuffix;
}

void removeStartupShortcut(platform::Platform& platform) {
    trace("removeStartupShortcut");
    const platform::SpecialFolderLookup startup =
        platform.system.specialFolderLocation(kStartupFolderId);
    // An empty path would put the shortcut at the root of the current drive.
    if (!startup.located || !startup.path || startup.path->empty())
        return;
    const std::string name = startupShortcutName(platform.ui, platform.system.moduleFileName());
    deleteFileOnce(platform.files, *startup.path + "\\" + name);
}
