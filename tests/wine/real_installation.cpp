#include "real_installation.h"

#include "payload/data_file.h"
#include "payload/file_extraction.h"
#include "payload/package_reading.h"
#include "system/file_operations.h"
#include "system/saver_folder.h"

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
    code = copyPackage(context);
    if (code == result::kOk)
        code = readInstallerHeader(context);
    if (code == result::kOk)
        code = setSaverPaths(context);
    if (code == result::kOk)
        code = prepareSaverFolder(platform, context.paths.windowsDir, context.paths.sharedSaverRoot,
                                  context.package.saverShortName, context.package.saverTitle, "",
                                  false);
    return code;
}

ResultCode RealInstallation::placeFiles() {
    ResultCode code = extractMainEntries(context, context.package.packageCopyPath);
    if (code == result::kOk)
        code = readSettingsRecord(context);
    if (code == result::kOk)
        code = expandDataFiles(context);
    if (code == result::kOk)
        code = writeSaverSettings(context);
    return code;
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
    if (!context.paths.workDir.empty())
        deleteFolderTree(win32.files, context.paths.workDir);
}

} // namespace winetest
