// The installer's file operations: deleting files that may be read-only or
// held open, deleting folder trees, copying with folder creation, reading a
// file's version.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "platform/platform.h"

// Deletes a file, clearing its attributes for a second try: 0 (also when no
// file is there) or -32.
ResultCode deleteFileOnce(platform::FileSystem& files, const std::string& path);

// Up to `attempts` deletions one after another: 0, -32, -38 for a ".scr"
// file, or -1 when no attempt was made.
ResultCode deleteFileWithRetries(platform::FileSystem& files, const std::string& path,
                                 int attempts);

// Whether a folder tree may never be deleted: a path that is not a full one
// (no drive, no server), a drive's or a share's root, or a folder that is one
// of `protectedFolders` or holds one of them. Letter case does not matter.
bool isProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders);

// Deletes a folder with everything in it, depth first: 0, -1 when the folder
// stays, or the code of the first file that could not be deleted. A file that
// cannot be deleted (a running program's, for one) does not keep the others:
// everything else goes all the same. A protected folder (isProtectedFolder)
// is refused untouched with -1.
ResultCode deleteFolderTree(platform::FileSystem& files, const std::string& folder,
                            const std::vector<std::string>& protectedFolders = {});
// The same for a folder held open: everything in it goes while it is held,
// and the hold is let go right before the folder itself is removed (or when
// something in it stays).
ResultCode deleteHeldFolderTree(platform::FileSystem& files, const std::string& folder,
                                std::unique_ptr<platform::HeldPath> hold,
                                const std::vector<std::string>& protectedFolders = {});

// Has Windows delete a file, or a folder with what is left in it, at the next
// restart: the files first, then the folders, the deepest first. Failures
// are traced and otherwise ignored.
void deleteAtRestart(platform::FileSystem& files, const std::string& path);

// Copies a file, making the target's folders first and replacing a read-only
// target. Returns 0 or the Windows error of the failed copy.
platform::WinError copyFileCreatingFolders(platform::FileSystem& files, const std::string& source,
                                           const std::string& target, bool failIfExists);

// Creates a folder and every missing folder above it; failures are ignored.
void forceFolders(platform::FileSystem& files, const std::string& folder);

// The first and third numbers of a file's version (a and c of a.b.c.d). Both
// stay as the caller set them when the file has no readable version.
void myGetFileVersion(platform::SystemInfo& system, const std::string& path,
                      std::uint32_t& majorNumber, std::uint32_t& thirdNumber);
