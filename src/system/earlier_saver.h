// An earlier installation of a saver, kept whole while a new one is placed:
// its files and folders are renamed beside themselves before anything of
// them is touched, and its uninstall entry's values are kept in memory. A
// run that fails puts everything back; a run that succeeds deletes what was
// set aside, or has Windows delete it at the next restart.
#pragma once

#include <string>
#include <vector>

#include "base/result_codes.h"
#include "platform/platform.h"
#include "platform/registry.h"

// What a set-aside copy's name ends with, before any number that makes it
// unique. Never ".scr": no control panel lists a set-aside engine.
constexpr const char* kSetAsideSuffix = ".vlx-aside";
constexpr int kSetAsideCandidates = 100;
// What a failed run left in an earlier saver's place and could not delete is
// renamed with this to make room, and deleted at the next restart.
constexpr const char* kLeftoverSuffix = ".vlx-failed";

class EarlierSaver {
  public:
    // The deletions after a success never go through these folders or
    // anything above them.
    EarlierSaver(platform::Platform& platform, std::vector<std::string> protectedFolders = {});

    // Sets aside every path of `paths` that exists (a folder ends with a
    // backslash), in their order. Returns 0, or -38 for an engine (a ".scr"
    // file) and -32 for anything else that could not be renamed; what was
    // set aside is put back then (what cannot be is named by restore), and
    // refusedPath() names the path.
    ResultCode setAside(const std::vector<std::string>& paths);
    // Keeps "DisplayName" and "UninstallString" of the key under both roots.
    void keepUninstallEntry(const std::string& keyPath);

    // Puts everything back, each rename tried twice (what the failed run
    // left in the place is deleted first), and writes the kept uninstall
    // values again. Returns the set-aside copies (and the
    // uninstall key) that could not be put back; they stay as they are.
    std::vector<std::string> restore();
    // Deletes what was set aside; what cannot be deleted now (a running
    // engine) is left to Windows to delete at the next restart. The kept
    // uninstall values are forgotten.
    void discard();

    bool empty() const { return moved_.empty(); }
    const std::string& refusedPath() const { return refusedPath_; }
    // The set-aside copies, in the order they were made.
    std::vector<std::string> setAsidePaths() const;

  private:
    struct Moved {
        std::string original;
        std::string aside;
    };
    struct KeptValue {
        platform::RegistryRoot root;
        std::string name;
        std::string value;
    };
    bool putBack(const Moved& moved);
    std::vector<std::string> putBackAll();
    bool rewriteUninstallEntry();

    platform::Platform& platform_;
    std::vector<std::string> protectedFolders_;
    std::vector<Moved> moved_;
    std::string uninstallKey_;
    std::vector<KeptValue> kept_;
    std::string refusedPath_;
    // Copies that a refused setAside could not put back.
    std::vector<std::string> notPutBack_;
};
