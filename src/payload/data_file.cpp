#include "payload/data_file.h"

#include <algorithm>

#include "base/texts.h"

namespace {

void showOpenProblem(InstallerContext& context, const std::string& path, ResultCode code) {
    context.platform.ui.messageDialog(platform::DialogKind::Error,
                                      std::string(text::kProblemOpeningDataFile) + path +
                                          std::string(text::kParagraph) + std::to_string(code),
                                      {platform::DialogButton::Abort});
}

} // namespace

ResultCode readSettingsRecord(InstallerContext& context) {
    PackageState& package = context.package;
    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(package.dataFilePath,
                                                platform::OpenMode::ReadExisting, error);
    if (file)
        error = platform::readExactly(*file, package.settings.bytes.data(), kSettingsRecordSize);
    if (error != platform::kErrorNone) {
        context.reporter.showInstallError(static_cast<ResultCode>(error), package.dataFilePath);
        return static_cast<ResultCode>(error);
    }
    return result::kOk;
}

ResultCode openDataFile(InstallerContext& context, const std::string& path, bool report,
                        bool& loaded) {
    PackageState& package = context.package;
    if (package.dataFileOpen) {
        context.platform.ui.messageDialog(platform::DialogKind::Information,
                                          std::string(text::kVellarmontError) +
                                              std::string(text::kDataFileInUse),
                                          {platform::DialogButton::Abort});
        loaded = true;
        return result::kOk;
    }

    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(path, platform::OpenMode::ReadWriteExisting, error);
    if (file)
        error = platform::readExactly(*file, package.settings.bytes.data(), kSettingsRecordSize);

    ResultCode code = static_cast<ResultCode>(error);
    std::fill(package.fileTable.begin(), package.fileTable.end(), FileTableRecord{});
    if (code == result::kOk) {
        const std::int32_t count = package.settings.fileCount();
        // The table has room for 1010 records; a larger count is refused
        // before any record is read.
        if (count < 0 || count > kMaxDataFiles)
            code = result::kTooManyDataFiles;
        for (std::int32_t i = 1; code == result::kOk && i <= count; ++i) {
            TableRecordBytes bytes;
            code = static_cast<ResultCode>(
                platform::readExactly(*file, bytes.data(), kFileTableRecordSize));
            if (code == result::kOk)
                package.fileTable[static_cast<std::size_t>(i)] = readFileTableRecord(bytes);
        }
    }
    if (code != result::kOk) {
        // A data file that cannot be used is closed again, so that it can
        // be deleted with the work folder.
        if (report)
            showOpenProblem(context, path, code);
        return code;
    }
    package.dataFile = std::move(file);
    package.dataFileOpen = true;
    loaded = true;
    return result::kOk;
}

ResultCode closeDataFile(InstallerContext& context) {
    PackageState& package = context.package;
    if (!package.dataFileOpen)
        return result::kOk;
    const platform::WinError error =
        package.dataFile ? package.dataFile->close() : platform::kErrorNone;
    package.dataFile.reset();
    package.dataFileOpen = false;
    if (error != platform::kErrorNone) {
        // The message names no file: only the system's text for the code.
        const auto code = static_cast<ResultCode>(error);
        context.platform.ui.messageDialog(platform::DialogKind::Error,
                                          std::string(text::kProblemClosingFile) +
                                              std::string(text::kLineBreak) +
                                              context.platform.system.errorMessageText(code),
                                          {platform::DialogButton::Abort});
        return code;
    }
    return result::kOk;
}
