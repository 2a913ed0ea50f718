#include "payload/package_reading.h"

#include "base/trace.h"
#include "payload/file_extraction.h"
#include "system/file_operations.h"
#include "system/saver_names.h"

void setPackagePaths(InstallerContext& context) {
    context.package.executablePath = context.platform.system.moduleFileName();
    context.package.packageCopyPath = context.paths.workDir + kPackageCopyName;
}

ResultCode copyPackage(InstallerContext& context) {
    const PackageState& package = context.package;
    ResultCode code = deleteFileWithRetries(context.platform.files, package.packageCopyPath,
                                            kPackageCopyDeleteAttempts);
    // The system could not name the running program: there is nothing to copy.
    if (code == result::kOk && package.executablePath.empty())
        code = static_cast<ResultCode>(platform::kErrorFileNotFound);
    else if (code == result::kOk)
        code = static_cast<ResultCode>(copyFileCreatingFolders(
            context.platform.files, package.executablePath, package.packageCopyPath, false));
    if (code != result::kOk)
        context.reporter.showInstallError(result::kCopyPackageFailed, package.packageCopyPath);
    return code;
}

ResultCode readInstallerHeader(InstallerContext& context) {
    PackageState& package = context.package;
    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(package.packageCopyPath,
                                                platform::OpenMode::ReadExisting, error);
    trace("bytes to read: ", static_cast<std::int64_t>(kInstallerHeaderSize));
    trace("INSTALLER_SIZE_IN_BYTES2: ", static_cast<std::int64_t>(INSTALLER_SIZE_IN_BYTES));

    HeaderBytes bytes{};
    std::uint32_t got = 0;
    if (file) {
        std::uint64_t position = 0;
        error = file->seek(context.packageOffset, platform::SeekOrigin::Begin, position);
        while (error == platform::kErrorNone && got < kInstallerHeaderSize) {
            std::uint32_t piece = 0;
            error = file->read(bytes.data() + got,
                               static_cast<std::uint32_t>(kInstallerHeaderSize) - got, piece);
            if (piece == 0)
                break;
            got += piece;
        }
    }
    if (error != platform::kErrorNone) {
        context.reporter.showInstallError(static_cast<ResultCode>(error), package.packageCopyPath);
        return static_cast<ResultCode>(error);
    }
    trace("bytes read: ", static_cast<std::int64_t>(got));
    if (got < kInstallerHeaderSize) {
        context.reporter.showInstallError(result::kHeaderTooShort, package.packageCopyPath);
        return result::kHeaderTooShort;
    }
    package.header = readInstallerHeaderRecord(bytes);
    return extractEntry(context, *file, entry::kFirstFile, false);
}

ResultCode setSaverPaths(InstallerContext& context) {
    PackageState& package = context.package;
    package.saverTitle = package.header.saverTitle.substr(0, kSaverTitleField);
    package.saverShortName =
        getCodedShortFilenameForScreensaver(context.platform, package.saverTitle);
    if (!isUsableSaverName(package.saverShortName)) {
        context.reporter.showInstallError(result::kUnsafeSaverTitle, package.saverTitle);
        return result::kUnsafeSaverTitle;
    }
    // The saver folder lies below the common application data; without it
    // the installation has nowhere to go.
    if (context.paths.sharedSaverRoot.empty())
        return result::kSystemFolderUnknown;
    package.saverFolder = context.paths.sharedSaverRoot + package.saverShortName + "\\";
    package.dataFilePath = context.paths.workDir + package.header.entries[entry::kDataFile].name;
    return result::kOk;
}
