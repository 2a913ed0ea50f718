#include "system/saver_folder.h"

#include "base/trace.h"
#include "system/saver_names.h"

namespace {

constexpr const char* kEngineExtension = ".scr";

// A folder that already exists (183) counts as made.
platform::WinError created(platform::WinError error) {
    return error == platform::kErrorAlreadyExists ? platform::kErrorNone : error;
}

// A folder in the Windows folder named like the saver is an older saver's
// only when it holds the saver's settings file, and Windows has not marked it
// as one of its own folders (system or read-only, as "Fonts" is). An engine
// file beside it proves nothing: "Media.scr" does not make "Media" a saver's.
bool olderSaverFolderInWindows(platform::FileSystem& files, const std::string& folder) {
    const auto attributes = files.attributes(folder);
    constexpr std::uint32_t kMarkedByWindows = platform::attr::kSystem | platform::attr::kReadOnly;
    return attributes && (*attributes & platform::attr::kDirectory) &&
           !(*attributes & kMarkedByWindows) && files.fileExists(folder + kSettingsFileName);
}

} // namespace

ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask) {
    EarlierSaver earlier(platform);
    const ResultCode code = prepareSaverFolder(platform, windowsDir, rootFolder, shortName, title,
                                               questionSuffix, ask, earlier);
    if (code == result::kOk)
        earlier.discard();
    return code;
}

ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask,
                              EarlierSaver& earlier, const std::vector<std::string>& besideFolder) {
    trace("prepareSaverFolder", shortName);
    if (!isUsableSaverName(shortName))
        return result::kUnusableSaverName;
    if (windowsDir.empty() || rootFolder.empty())
        return result::kSystemFolderUnknown;
    platform::FileSystem& files = platform.files;
    const std::string engine = shortName + kEngineExtension;
    const std::string saverFolder = rootFolder + shortName + "\\";

    const bool inRoot = files.fileExists(rootFolder + engine) || files.folderExists(saverFolder);
    const std::string windowsSaverFolder = windowsDir + shortName + "\\";
    const bool folderInWindows = olderSaverFolderInWindows(files, windowsSaverFolder);
    const bool inWindows = files.fileExists(windowsDir + engine) || folderInWindows;

    if ((inRoot || inWindows) && ask) {
        const platform::DialogButton answer = platform.ui.messageDialog(
            platform::DialogKind::Confirmation, title + std::string(questionSuffix),
            {platform::DialogButton::Ok, platform::DialogButton::Cancel});
        if (answer != platform::DialogButton::Ok)
            return result::kUserAbort;
    }

    // Everything of the older saver is set aside before anything is made,
    // its engine copies first: a running saver shows as a busy engine.
    std::vector<std::string> olderSaver = besideFolder;
    if (inWindows) {
        olderSaver.push_back(windowsDir + engine);
        if (folderInWindows)
            olderSaver.push_back(windowsSaverFolder);
    }
    if (inRoot) {
        olderSaver.push_back(rootFolder + engine);
        olderSaver.push_back(saverFolder);
    }
    if (const ResultCode code = earlier.setAside(olderSaver); code != result::kOk) {
        trace("prepareSaverFolder: not set aside", earlier.refusedPath());
        return code;
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
