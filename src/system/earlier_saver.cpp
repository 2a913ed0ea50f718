#include "system/earlier_saver.h"

#include <exception>

#include "base/trace.h"
#include "system/file_operations.h"
#include "system/path_names.h"

namespace {

using platform::RegistryRoot;

constexpr const char* kKeptValues[] = {"DisplayName", "UninstallString"};
constexpr RegistryRoot kUninstallRoots[] = {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser};

bool isFolderPath(const std::string& path) {
    return !path.empty() && path.back() == '\\';
}

bool isEngine(const std::string& path) {
    return lowerAscii(extensionPart(path)) == ".scr";
}

} // namespace

EarlierSaver::EarlierSaver(platform::Platform& platform, std::vector<std::string> protectedFolders)
    : platform_(platform), protectedFolders_(std::move(protectedFolders)) {}

ResultCode EarlierSaver::setAside(const std::vector<std::string>& paths) {
    platform::FileSystem& files = platform_.files;
    for (const std::string& path : paths) {
        if (path.empty() || !files.attributes(path))
            continue;
        const std::string original = withoutTrailingBackslash(path);
        bool done = false;
        for (int n = 1; n <= kSetAsideCandidates && !done; ++n) {
            std::string aside = original + kSetAsideSuffix;
            if (n > 1)
                aside += std::to_string(n);
            if (files.attributes(aside))
                continue;
            const platform::WinError error = files.moveFile(original, aside);
            if (error == platform::kErrorNone) {
                trace("setAside", aside);
                moved_.push_back({path, isFolderPath(path) ? aside + "\\" : aside});
                done = true;
            } else if (error != platform::kErrorAlreadyExists &&
                       error != platform::kErrorFileExists) {
                trace("setAside failed", original + " " + std::to_string(error));
                break;
            }
        }
        if (!done) {
            refusedPath_ = path;
            // What cannot be put back now is named by the next restore.
            for (const std::string& left : putBackAll())
                notPutBack_.push_back(left);
            return isEngine(original) ? result::kSaverBusy : result::kFileBusy;
        }
    }
    return result::kOk;
}

void EarlierSaver::keepUninstallEntry(const std::string& keyPath) {
    uninstallKey_ = keyPath;
    kept_.clear();
    if (keyPath.empty())
        return;
    for (const RegistryRoot root : kUninstallRoots) {
        try {
            platform::WinError error = platform::kErrorNone;
            const auto key = platform_.registry.openKey(root, keyPath, error);
            if (!key)
                continue;
            for (const char* name : kKeptValues) {
                std::string value;
                if (key->readString(name, value) == platform::kErrorNone)
                    kept_.push_back({root, name, value});
            }
        } catch (const std::exception& error) {
            trace("keepUninstallEntry", error.what());
        }
    }
}

bool EarlierSaver::putBack(const Moved& moved) {
    platform::FileSystem& files = platform_.files;
    const std::string original = withoutTrailingBackslash(moved.original);
    const std::string aside = withoutTrailingBackslash(moved.aside);
    // Each part runs whatever the one before raised.
    const auto attempt = [&](const char* what, const auto& step) {
        try {
            return step();
        } catch (const std::exception& error) {
            trace(what, error.what());
            return false;
        }
    };
    for (int round = 0; round < 2; ++round) {
        // Whatever stands in the place now was put there by this run after
        // the earlier saver left it: a clean-up that could not remove it
        // gets a second chance here.
        attempt("putBack: clear", [&] {
            if (isFolderPath(moved.original))
                deleteFolderTree(files, moved.original, protectedFolders_);
            else
                deleteFileOnce(files, original);
            return true;
        });
        if (attempt("putBack: move",
                    [&] { return files.moveFile(aside, original) == platform::kErrorNone; }))
            return true;
        // What still stands there (a file that cannot be deleted) makes room
        // under a name of its own and goes at the next restart.
        if (attempt("putBack: make room", [&] {
                const std::string leftover = original + kLeftoverSuffix;
                if (!files.attributes(original) ||
                    files.moveFile(original, leftover) != platform::kErrorNone)
                    return false;
                deleteAtRestart(files, leftover);
                return files.moveFile(aside, original) == platform::kErrorNone;
            }))
            return true;
    }
    return false;
}

bool EarlierSaver::rewriteUninstallEntry() {
    bool whole = true;
    for (const RegistryRoot root : kUninstallRoots) {
        bool any = false;
        for (const KeptValue& kept : kept_)
            any = any || kept.root == root;
        if (!any)
            continue;
        bool written = false;
        for (int attempt = 0; attempt < 2 && !written; ++attempt) {
            try {
                platform::WinError error = platform::kErrorNone;
                const auto key = platform_.registry.createKey(root, uninstallKey_, error);
                written = key != nullptr;
                for (const KeptValue& kept : kept_)
                    if (written && kept.root == root)
                        written = key->setString(kept.name, kept.value) == platform::kErrorNone;
            } catch (const std::exception& error) {
                trace("rewriteUninstallEntry", error.what());
                written = false;
            }
        }
        whole = whole && written;
    }
    return whole;
}

std::vector<std::string> EarlierSaver::restore() {
    std::vector<std::string> stay = std::move(notPutBack_);
    notPutBack_.clear();
    for (const std::string& left : putBackAll())
        stay.push_back(left);
    if (!kept_.empty() && !rewriteUninstallEntry())
        stay.push_back(uninstallKey_);
    kept_.clear();
    return stay;
}

std::vector<std::string> EarlierSaver::putBackAll() {
    std::vector<std::string> stay;
    // The last set aside goes back first.
    for (auto moved = moved_.rbegin(); moved != moved_.rend(); ++moved) {
        if (putBack(*moved))
            trace("restored", moved->original);
        else
            stay.insert(stay.begin(), moved->aside);
    }
    moved_.clear();
    return stay;
}

void EarlierSaver::discard() {
    platform::FileSystem& files = platform_.files;
    for (const Moved& moved : moved_) {
        const bool folder = isFolderPath(moved.aside);
        bool deleted = false;
        try {
            deleted = (folder ? deleteFolderTree(files, moved.aside, protectedFolders_)
                              : deleteFileOnce(files, moved.aside)) == result::kOk;
        } catch (const std::exception& error) {
            trace("discard", error.what());
        }
        // What stays (a running engine) goes at the next restart.
        try {
            if (!deleted && !(folder && isProtectedFolder(moved.aside, protectedFolders_)))
                deleteAtRestart(files, moved.aside);
        } catch (const std::exception& error) {
            trace("discard at restart", error.what());
        }
    }
    moved_.clear();
    kept_.clear();
}

std::vector<std::string> EarlierSaver::setAsidePaths() const {
    std::vector<std::string> paths;
    for (const Moved& moved : moved_)
        paths.push_back(moved.aside);
    return paths;
}
