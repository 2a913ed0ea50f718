// Everything one run of the installer owns: the platform it talks to, its
// reporting, its folders, the operating-system class, the package and the
// list of files it created. Operations take it instead of globals, so a test
// can make a fresh one per case.
#pragma once

#include <cstdint>
#include <memory>

#include "payload/compression/implode_library.h"
#include "payload/package_state.h"
#include "platform/platform.h"
#include "system/install_reporting.h"
#include "system/installed_files.h"
#include "system/installer_paths.h"
#include "system/platform_checks.h"

struct InstallerContext {
    InstallerContext(platform::Platform& platform, InstallReporter& reporter)
        : platform(platform), reporter(reporter) {}

    platform::Platform& platform;
    InstallReporter& reporter;
    InstallerPaths paths;
    OperatingSystemClass osClass = osclass::kUnrecognised;
    PackageState package;
    InstalledFiles installedFiles;
    ExplodeWorkArea explodeWorkArea{};
    // The code written into the work folder and then run, held open from its
    // writing on so that nobody can change it in between: the implode library
    // until the work folder is deleted, the player installer until it has
    // been started.
    std::unique_ptr<platform::HeldPath> heldLibrary;
    std::unique_ptr<platform::HeldPath> heldPlayerInstaller;
    // Where the package header sits in the installer file: right behind the
    // program image. Tests hand the reading code smaller images.
    std::int64_t packageOffset = INSTALLER_SIZE_IN_BYTES;
};
