#include "system/file_operations.h"

#include <exception>

#include "base/trace.h"
#include "system/path_names.h"

namespace {

bool isSaverFile(const std::string& path) {
    return lowerAscii(extensionPart(path)) == ".scr";
}

// Whether a deletion that answered `error` left nothing at `path`: "not
// found" is checked, since it also comes from a path that is there but
// cannot be reached.
bool gone(platform::FileSystem& files, const std::string& path, platform::WinError error) {
    if (error == platform::kErrorNone)
        return true;
    if (error != platform::kErrorFileNotFound && error != platform::kErrorPathNotFound)
        return false;
    return !files.attributes(path);
}

// One deletion as deleteFileOnce makes it; true when the file is gone. The
// deletion itself tells whether there was a file: a question asked first
// could fail and leave the file.
bool deleteClearingAttributes(platform::FileSystem& files, const std::string& path) {
    if (gone(files, path, files.deleteFile(path)))
        return true;
    const auto attributes = files.attributes(path);
    if (attributes && (*attributes & platform::attr::kDirectory))
        return true; // a folder is no file to delete
    files.setAttributes(path, platform::attr::kNormal);
    return gone(files, path, files.deleteFile(path));
}

// The folder named by a listed sub-folder entry, or empty for "." and "..".
std::string subFolderOf(const std::string& folder, const std::string& entryName) {
    std::string candidate = folder + entryName;
    if (!candidate.empty() && candidate.back() == '.') {
        candidate.pop_back();
        if (!candidate.empty() && candidate.back() == '.')
            candidate.pop_back();
    } else {
        candidate = withTrailingBackslash(candidate);
    }
    return candidate == folder ? std::string() : candidate;
}

} // namespace

ResultCode deleteFileOnce(platform::FileSystem& files, const std::string& path) {
    return deleteClearingAttributes(files, path) ? result::kOk : result::kFileBusy;
}

ResultCode deleteFileWithRetries(platform::FileSystem& files, const std::string& path,
                                 int attempts) {
    ResultCode code = result::kNotRemoved;
    for (int attempt = 0; attempt < attempts && code != result::kOk; ++attempt) {
        if (deleteClearingAttributes(files, path))
            code = result::kOk;
        else
            code = isSaverFile(path) ? result::kSaverBusy : result::kFileBusy;
    }
    return code;
}

bool isProtectedFolder(const std::string& folder,
                       const std::vector<std::string>& protectedFolders) {
    const std::string path = lowerAscii(withTrailingBackslash(folder));
    const bool onDrive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    const bool onShare = path.starts_with("\\\\");
    if (!onDrive && !onShare)
        return true;
    if (onDrive && path.size() == 3)
        return true;
    if (onShare) {
        // "\\server\share\" and anything shorter is the share itself.
        std::size_t separators = 0;
        for (std::size_t i = 2; i < path.size(); ++i)
            separators += path[i] == '\\' ? 1 : 0;
        if (separators <= 2)
            return true;
    }
    for (const std::string& protectedFolder : protectedFolders) {
        if (protectedFolder.empty())
            continue;
        if (lowerAscii(withTrailingBackslash(protectedFolder)).starts_with(path))
            return true;
    }
    return false;
}

ResultCode deleteFolderTree(platform::FileSystem& files, const std::string& folder,
                            const std::vector<std::string>& protectedFolders) {
    return deleteHeldFolderTree(files, folder, nullptr, protectedFolders);
}

ResultCode deleteHeldFolderTree(platform::FileSystem& files, const std::string& folder,
                                std::unique_ptr<platform::HeldPath> hold,
                                const std::vector<std::string>& protectedFolders) {
    if (folder.empty())
        return result::kNotRemoved;
    if (isProtectedFolder(folder, protectedFolders)) {
        trace("deleteFolderTree refused", folder);
        return result::kNotRemoved;
    }
    const std::string base = withTrailingBackslash(folder);
    ResultCode firstFailure = result::kOk;
    for (const platform::FolderEntry& entry : files.listFolder(base + "*.*")) {
        // What one entry raises keeps that entry alone: the others go.
        try {
            if (entry.isFolder) {
                const std::string sub = subFolderOf(base, entry.name);
                if (sub.empty())
                    continue;
                if (entry.isLink) {
                    // A junction or symbolic link: remove the link, never what it points at.
                    files.removeFolder(sub);
                    continue;
                }
                deleteFolderTree(files, sub, protectedFolders);
            } else {
                const ResultCode code = deleteFileOnce(files, base + entry.name);
                if (code != result::kOk && firstFailure == result::kOk)
                    firstFailure = code;
            }
        } catch (const std::exception& error) {
            trace("deleteFolderTree", error.what());
            if (firstFailure == result::kOk)
                firstFailure = result::kFileBusy;
        }
    }
    if (firstFailure != result::kOk)
        return firstFailure;
    hold.reset();
    if (gone(files, base, files.removeFolder(base)))
        return result::kOk;
    // A read-only folder is removed once its attribute is cleared.
    files.setAttributes(base, platform::attr::kNormal);
    return gone(files, base, files.removeFolder(base)) ? result::kOk : result::kNotRemoved;
}

namespace {

// The files and folders below `folder`, each folder listed after what it holds.
void collectTree(platform::FileSystem& files, const std::string& folder,
                 std::vector<std::string>& found, std::vector<std::string>& folders) {
    for (const platform::FolderEntry& entry : files.listFolder(folder + "*.*")) {
        if (!entry.isFolder) {
            found.push_back(folder + entry.name);
            continue;
        }
        const std::string sub = subFolderOf(folder, entry.name);
        if (sub.empty())
            continue;
        if (!entry.isLink)
            collectTree(files, sub, found, folders);
        folders.push_back(sub);
    }
}

void scheduleOne(platform::FileSystem& files, const std::string& path) {
    if (const platform::WinError error = files.deleteAtRestart(path))
        trace("deleteAtRestart failed", path + " " + std::to_string(error));
}

} // namespace

void deleteAtRestart(platform::FileSystem& files, const std::string& path) {
    const auto attributes = files.attributes(path);
    if (!attributes)
        return;
    if (!(*attributes & platform::attr::kDirectory)) {
        scheduleOne(files, path);
        return;
    }
    const std::string base = withTrailingBackslash(path);
    std::vector<std::string> found;
    std::vector<std::string> folders;
    collectTree(files, base, found, folders);
    for (const std::string& file : found)
        scheduleOne(files, file);
    for (const std::string& folder : folders)
        scheduleOne(files, withoutTrailingBackslash(folder));
    scheduleOne(files, withoutTrailingBackslash(base));
}

platform::WinError copyFileCreatingFolders(platform::FileSystem& files, const std::string& source,
                                           const std::string& target, bool failIfExists) {
    if (files.fileExists(source))
        files.setAttributes(source, platform::attr::kNormal);
    const std::string targetFolder = folderPart(target);
    if (files.folderExists(targetFolder)) {
        if (files.fileExists(target))
            files.setAttributes(target, platform::attr::kNormal);
    } else {
        forceFolders(files, targetFolder);
    }
    return files.copyFile(source, target, failIfExists);
}

void forceFolders(platform::FileSystem& files, const std::string& folder) {
    if (folder.empty() || files.folderExists(folder))
        return;
    const std::string path = withoutTrailingBackslash(folder);
    const std::string parent = folderPart(path);
    // Stop at a drive ("C:") or when the path makes no progress upwards.
    if (!parent.empty() && parent.size() < folder.size() && parent.back() != ':')
        forceFolders(files, parent);
    if (!path.empty() && path.back() != ':')
        files.createFolder(path);
}

void myGetFileVersion(platform::SystemInfo& system, const std::string& path,
                      std::uint32_t& majorNumber, std::uint32_t& thirdNumber) {
    trace("myGetFileVersion", path);
    const platform::FileVersionLookup lookup = system.fileVersion(path);
    if (lookup.outcome == platform::VersionResource::Found) {
        majorNumber = lookup.version.fileVersionMS >> 16;
        thirdNumber = lookup.version.fileVersionLS >> 16;
    }
    trace("myGetFileVersion", static_cast<std::int64_t>(majorNumber));
}
