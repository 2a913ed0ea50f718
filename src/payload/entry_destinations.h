// Where each package entry and data-file item goes, and which names are safe
// to place at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "payload/package_records.h"
#include "system/installer_paths.h"

constexpr const char* kFlashInstallerName = "install_flash_player_active_x.exe";
constexpr const char* kFlashInstaller10Name = "install_flash_player_10_active_x.exe";
constexpr const char* kImplodeLibraryEntryName = "impborl.dat";
constexpr const char* kMovieCopySource = "installer.swf";
constexpr int kLibraryDeleteAttempts = 1000;

// One of the two known Flash Player installer names (case-sensitive).
bool isFlashInstallerName(const std::string& name);

// The destination of an entry by its kind; nothing for a kind without one.
std::optional<std::string> entryDestination(const InstallerPaths& paths,
                                            const std::string& saverFolder,
                                            const PackageEntry& entry);

// A destination ending in ".dll" (exactly): cleared with many attempts and
// not reported by the extraction itself.
bool libraryDestination(std::string_view path);

// The name with everything from its last "." replaced by `extension`, or
// with `extension` appended when it has no ".".
std::string replaceExtension(std::string_view name, std::string_view extension);

// An entry name must be a plain file name: no folder, no drive, no "." or
// "..", no characters Windows refuses in names, no device name.
bool safeEntryName(std::string_view name);

// A data-file name is a path below the saver folder: relative, no drive, no
// "." or ".." part, every part a safe name.
bool safeDataFileName(std::string_view name);
