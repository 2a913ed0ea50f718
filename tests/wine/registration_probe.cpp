// Writes an uninstall entry as the installer does, so that a test can run it
// under a chosen Windows version (Wine sets the version per program name).
//   registration_probe TITLE SHORTNAME   exit code = registerUninstallEntry's result
#include <string>

#include "platform/win32/win32_platform.h"
#include "system/path_names.h"
#include "system/uninstall_entry.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    const std::string systemDir = withTrailingBackslash(win32.system.systemDirectory());
    return registerUninstallEntry(platform, {}, systemDir, argv[1], argv[2]);
}
