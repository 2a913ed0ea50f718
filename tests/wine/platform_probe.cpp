// Asks the real platform what the installer would: run under Wine by the
// tests (the operating-system class as exit code) and by the demo (a report).
//   platform_probe osclass   exit code = operating-system class
//   platform_probe report    prints the class, the installer paths and a
//                            fresh work folder, then removes that folder
#include <cstdio>
#include <cstring>

#include "platform/win32/win32_platform.h"
#include "system/file_operations.h"
#include "system/installer_paths.h"
#include "system/platform_checks.h"

namespace {

int report(platform::win32::Win32Platform& win32) {
    platform::Platform platform = win32.platform();
    const OperatingSystemClass osClass = GetOperatingSystem(win32.system);
    std::printf("operating-system class: %d\n", static_cast<int>(osClass));
    std::printf("running on 64-bit Windows: %s\n", runningOnWin64(win32.system) ? "yes" : "no");
    std::printf("Windows 95/98/ME family: %s\n", isWin9xFamily(win32.system) ? "yes" : "no");

    InstallerPaths paths;
    const ResultCode code = initInstallerPaths(platform, win32.system.moduleFileName(), paths);
    std::printf("windowsDir:      %s\n", paths.windowsDir.c_str());
    std::printf("systemDir:       %s\n", paths.systemDir.c_str());
    std::printf("nativeSystemDir: %s\n", paths.nativeSystemDir.c_str());
    std::printf("sharedSaverRoot: %s\n", paths.sharedSaverRoot.c_str());
    std::printf("exeDir:          %s\n", paths.exeDir.c_str());
    std::printf("workDir:         %s\n", paths.workDir.c_str());
    if (code != result::kOk) {
        std::printf("the paths could not be set up: result %d\n", static_cast<int>(code));
        return 1;
    }
    std::printf("work folder exists: %s\n", win32.files.folderExists(paths.workDir) ? "yes" : "no");
    std::printf("work folder removed again: %s\n",
                deleteHeldFolderTree(win32.files, paths.workDir, std::move(paths.workFolderHold)) ==
                        result::kOk
                    ? "yes"
                    : "no");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::win32::Win32Platform win32;
    try {
        if (argc == 2 && std::strcmp(argv[1], "osclass") == 0) {
            const OperatingSystemClass osClass = GetOperatingSystem(win32.system);
            std::printf("%d\n", static_cast<int>(osClass));
            return static_cast<int>(osClass);
        }
        if (argc == 2 && std::strcmp(argv[1], "report") == 0)
            return report(win32);
    } catch (const PlatformCheckError& error) {
        std::printf("%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: platform_probe osclass|report\n");
    return 2;
}
