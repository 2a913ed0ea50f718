#include "system/saver_folder.h"

#include "app/trace.h"
#include "system/file_operations.h"
#include "system/saver_names.h"

namespace {

constexpr const char* kEngineExtension = ".scr";

// A folder that already exists (183) counts as made.
platform::WinError created(platform::WinError error) {
    return error == platform::kErrorAlreadyExists ? platform::kErrorNone : error;
}

} // namespace

ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask) {
    trace("prepareSaverFolder", shortName);
    if (!isUsableSaverName(shortName))
        return result::kUnusableSaverName;
    if (windowsDir.empty() || rootFolder.empty())
        return result::kSystemFolderUnknown;
    platform::FileSystem& files = platform.files;
    const std::string engine = shortName + kEngineExtension;
    const std::string saverFolder = rootFolder + shortName + "\\";

    const bool inRoot = files.fileExists(rootFolder + engine) || files.folderExists(saverFolder);
    // In the Windows folder only an engine file counts: a folder there named
    // like the saver ("Fonts", "Media", "system32") belongs to Windows.
    const bool inWindows = files.fileExists(windowsDir + engine);

    if ((inRoot || inWindows) && ask) {
        const platform::DialogButton answer = platform.ui.messageDialog(
            platform::DialogKind::Confirmation, title + std::string(questionSuffix),
            {platform::DialogButton::Ok, platform::DialogButton::Cancel});
        if (answer != platform::DialogButton::Ok)
            return result::kUserAbort;
    }

    if (inWindows)
        deleteFileOnce(files, windowsDir + engine);
    if (inRoot) {
        deleteFileOnce(files, rootFolder + engine);
        if (files.folderExists(saverFolder))
            deleteFolderTree(files, saverFolder);
    }

    platform::WinError error = platform::kErrorNone;
    if (!files.folderExists(rootFolder))
        error = created(files.createFolder(rootFolder));
    if (!files.folderExists(saverFolder)) {
        const platform::WinError second = files.createFolder(saverFolder);
        if (second == platform::kErrorAlreadyExists)
            error = platform::kErrorNone;
        else if (second != platform::kErrorNone)
            error = second;
    }
    trace("prepareSaverFolder", static_cast<std::int64_t>(error));
    return static_cast<ResultCode>(error);
}
