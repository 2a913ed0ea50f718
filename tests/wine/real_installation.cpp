#include "real_installation.h"

#include "install_steps.h"
#include "system/file_operations.h"

namespace winetest {

RealInstallation::RealInstallation(const std::string& installerPath, std::int64_t packageOffset)
    : installerPath_(installerPath) {
    reporter.runMode = kQuietRunMode;
    context.packageOffset = packageOffset;
}

ResultCode RealInstallation::prepare() {
    context.osClass = GetOperatingSystem(win32.system);
    ResultCode code = initInstallerPaths(platform, win32.system.moduleFileName(), context.paths);
    if (code != result::kOk)
        return code;
    setPackagePaths(context);
    context.package.executablePath = installerPath_;
    return teststeps::readPackageAndPrepareSaverFolder(context);
}

ResultCode RealInstallation::placeFiles() {
    return teststeps::placeSaverFiles(context);
}

RealInstallation::~RealInstallation() {
    closeDataFile(context);
    const std::string engine = context.package.header.entries[entry::kEngine].name;
    if (!context.package.saverFolder.empty())
        deleteFolderTree(win32.files, context.package.saverFolder);
    if (!engine.empty() && !context.paths.systemDir.empty()) {
        deleteFileOnce(win32.files, context.paths.systemDir + engine);
        if (context.osClass == osclass::kWindows64)
            deleteFileOnce(win32.files, context.paths.nativeSystemDir + engine);
    }
    context.heldLibrary.reset();
    context.heldPlayerInstaller.reset();
    if (!context.paths.workDir.empty())
        deleteHeldFolderTree(win32.files, context.paths.workDir,
                             std::move(context.paths.workFolderHold));
}

} // namespace winetest
