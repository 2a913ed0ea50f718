// Reading the package from the installer's private copy of itself: the copy,
// the header, the first entry and the paths that follow from the header.
#pragma once

#include "base/result_codes.h"
#include "payload/installer_context.h"

constexpr const char* kPackageCopyName = "temp.dat";
constexpr int kPackageCopyDeleteAttempts = 100;

// The executable's path, and the copy's path in the work folder.
void setPackagePaths(InstallerContext& context);
// Copies the running executable into the work folder.
ResultCode copyPackage(InstallerContext& context);
// Reads the header from the copy and extracts entry 1.
ResultCode readInstallerHeader(InstallerContext& context);
// The title, short name, saver folder and data-file path. A title whose
// short name cannot name a folder inside the shared saver folder (a path
// separator, a drive, "..", a device name) is refused with -544, and a
// machine without a common application-data folder with -560.
ResultCode setSaverPaths(InstallerContext& context);
