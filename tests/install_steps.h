// The package steps of an installation in the installer's order, for tests
// on any platform: from the copy of the installer to the saver folder, and
// the placing of the saver's files. Each step runs only while all before it
// succeeded.
#pragma once

#include "payload/data_file.h"
#include "payload/file_extraction.h"
#include "payload/installer_context.h"
#include "payload/package_reading.h"
#include "system/saver_folder.h"

namespace teststeps {

// After setPackagePaths: copy, header and entry 1, saver paths, and the saver
// folder (made without a question).
inline ResultCode readPackageAndPrepareSaverFolder(InstallerContext& context) {
    ResultCode code = copyPackage(context);
    if (code == result::kOk)
        code = readInstallerHeader(context);
    if (code == result::kOk)
        code = setSaverPaths(context);
    if (code == result::kOk)
        code = prepareSaverFolder(context.platform, context.paths.windowsDir,
                                  context.paths.sharedSaverRoot, context.package.saverShortName,
                                  context.package.saverTitle, "", false);
    return code;
}

// The main entries, the settings record, the data files and "saver.dat".
inline ResultCode placeSaverFiles(InstallerContext& context) {
    ResultCode code = extractMainEntries(context, context.package.packageCopyPath);
    if (code == result::kOk)
        code = readSettingsRecord(context);
    if (code == result::kOk)
        code = expandDataFiles(context);
    if (code == result::kOk)
        code = writeSaverSettings(context);
    return code;
}

} // namespace teststeps
