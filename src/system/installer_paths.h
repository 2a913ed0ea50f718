// The folders the installer works with, worked out once at the start of a
// run, and the fresh work folder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "platform/platform.h"

// Every path ends with a backslash once set. `nativeSystemDir` stays empty
// without SystemRoot (Windows 95, 98, ME), and `sharedSaverRoot` when the
// shell knows no common application data; nothing may be built on them then.
struct InstallerPaths {
    std::string windowsDir;
    std::string systemDir;
    std::string nativeSystemDir; // the 64-bit system folder as a 32-bit process reaches it
    std::string sharedSaverRoot;
    std::string exeDir;
    std::string workDir;
    // The work folder, held open from its creation until the closing deletes
    // it, so that nobody can rename it away and put another in its place.
    std::unique_ptr<platform::HeldPath> workFolderHold;
    // Folders that no folder-tree deletion of the run may reach
    // (protectedFolders below).
    std::vector<std::string> protectedFolders;
};

namespace csidl {
constexpr int kPersonal = 5;
constexpr int kAppData = 26;
constexpr int kLocalAppData = 28;
constexpr int kCommonAppData = 35;
} // namespace csidl

constexpr const char* kCompanyFolder = "Vellarmont\\";
constexpr const char* kWorkFolderPrefix = "Vlx";
constexpr int kWorkFolderCandidates = 1000;

// The work folder of an elevated run, where the installer writes code that it
// then loads and starts: owned by Administrators, full access for
// Administrators and SYSTEM, read and traverse for the user who runs the
// installer, nothing inherited from the user's own folder above it. No
// unelevated program can then change what is in it.
platform::FolderSecurity workFolderSecurity();

// Sets every path from the environment, the system and the executable's
// path, then makes the work folder and holds it. A Windows, system,
// executable or local application data folder that cannot be determined
// refuses the start with -560 and leaves the later paths empty. An elevated
// run (SystemInfo::runsElevated: the token's elevation on Windows Vista and
// later; never before) makes the folder with workFolderSecurity; any other
// run makes it as its parent has it.
ResultCode initInstallerPaths(platform::Platform& platform, const std::string& executablePath,
                              InstallerPaths& paths);

// The folders a folder-tree deletion must never reach: the Windows and
// system folders, Program Files, the common application data and the shared
// saver root in it, the local application data and its company folder, and
// the user's profile folders. Those `paths` does not hold are asked for.
std::vector<std::string> protectedFolders(platform::Platform& platform,
                                          const InstallerPaths& paths);

// A special folder's path without a trailing backslash, or empty.
std::string getSpecialFolderPath(platform::SystemInfo& system, int csidlNumber);

// Creates the first free folder prefix + 1, 2, ... below the company folder
// of the local application data. On failure `out` is empty and the result
// the Windows error of the last creation attempt.
ResultCode makeUniqueWorkFolder(platform::Platform& platform, const std::string& prefix,
                                std::string& out);
// The same, with the folder made by createHeldFolder with `security` and its
// hold kept in `hold` (null on failure).
ResultCode makeHeldWorkFolder(platform::Platform& platform, const std::string& prefix,
                              const std::optional<platform::FolderSecurity>& security,
                              std::string& out, std::unique_ptr<platform::HeldPath>& hold);
