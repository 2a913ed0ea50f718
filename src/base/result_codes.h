// Every result code of the installer, with its number.
//
// A result code is a signed 32-bit value returned by every installation
// step: 0 is success, positive values are Windows or I/O error codes passed
// through, negative values are the installer's own.
#pragma once

#include <cstdint>

using ResultCode = std::int32_t;

namespace result {

constexpr ResultCode kOk = 0;

// Windows error codes that the installer tells apart.
constexpr ResultCode kAccessDenied = 5;

// File operations.
constexpr ResultCode kNotRemoved = -1; // a folder was not removed, or an empty path was given
constexpr ResultCode kFileBusy = -32;  // a file was not deleted (busy or protected)
constexpr ResultCode kSaverBusy = -38; // a screen saver file (".scr") was not deleted

// Package and extraction.
constexpr ResultCode kNoStoredBytes = -7;        // no buffer for the stored bytes (size below 1)
constexpr ResultCode kItemIndexTooHigh = -12;    // a data-file item index above the file count
constexpr ResultCode kExpandedSizeWrong = -13;   // the expanded file's size differs
constexpr ResultCode kDataFileNotOpen = -15;     // the saver data file is not open
constexpr ResultCode kExpandedFileMissing = -16; // an expanded or copied file is not there
constexpr ResultCode kShortRead = -30;           // fewer bytes than stored could be read
constexpr ResultCode kHeaderTooShort = -31;      // fewer than 3152 header bytes
constexpr ResultCode kInstallerCorrupted = -34;  // message code: the installer file is damaged
constexpr ResultCode kNoDecompressor = -35;      // the implode library is not usable
constexpr ResultCode kCopyPackageFailed = -523;  // message code for a failed package copy
constexpr ResultCode kEntryAbsent = -531;        // a package entry needed here has no name
constexpr ResultCode kDataFileCopyFailed = -532; // a copied data-file file could not be made
constexpr ResultCode kReadPastEnd = 100;         // I/O code: fewer bytes than asked for were left

// Malformed or hostile packages.
constexpr ResultCode kUnsafeEntryName = -540;    // an entry name that is not a plain file name
constexpr ResultCode kUnsafeDataFileName = -541; // a data-file name that leaves the saver folder
constexpr ResultCode kEntryKindUnknown = -542;   // an entry without a destination folder
constexpr ResultCode kTooManyDataFiles = -543;   // a file count below 0 or above 1010
constexpr ResultCode kUnsafeSaverTitle = -544;   // a title whose short name is no folder name
constexpr ResultCode kLicenceNotShown = -545;    // an extracted licence the window cannot show

// Flash Player and preview movie.
constexpr ResultCode kFlashInstallerMissing = -401; // also: no Flash Player found by the panel
constexpr ResultCode kFlashPlayerRequired = -402;
constexpr ResultCode kNoPlayerInstance = -403;
constexpr ResultCode kNotSwfMovie = -404;
constexpr ResultCode kSwfVersionTooHigh = -405;
constexpr ResultCode kSwfVersionTooLow = -406;
constexpr ResultCode kMovieNewerThanPlayer = -410;
// A preview movie that cannot be read to its end: the installation goes on
// without the preview.
constexpr ResultCode kSwfEndsEarly = -411;      // the file ends inside a part it must hold
constexpr ResultCode kSwfNoScriptWindow = -412; // no byte behind SetBackgroundColor by its length
constexpr ResultCode kSwfBackgroundTooShort = -413; // a SetBackgroundColor body below 3 bytes
constexpr ResultCode kSwfTagTooLong = -414;         // a long tag length of 2^31 or more
constexpr ResultCode kSwfBadCompression = -415;     // a zlib stream that is corrupt or ends early
constexpr ResultCode kSwfExpandedTooLarge = -418;   // expands beyond the cap on its size
constexpr ResultCode kSwfTempFileFailed = -419;     // a temporary file not made, written or read
constexpr ResultCode kFlashUpdateFailed = -416;
constexpr ResultCode kNotCompatibleWithNt = -455;
// The header's carried-installer version index names no known version (above
// 1): nothing is extracted or started.
constexpr ResultCode kFlashInstallerVersionUnknown = -417;
// The player control refused to load or start the movie.
constexpr ResultCode kMovieNotPlayed = -420;

// Anything raised rather than returned during the preparation (a platform
// check that cannot ask the system, memory running out, ...).
constexpr ResultCode kPreparationFailed = -421;

// The user.
constexpr ResultCode kUserAbort = -454;

// Registration.
constexpr ResultCode kUninstallEntryNotWritten = -2201;
constexpr ResultCode kUninstallEntryNotRemoved = -2202;
// The saver's short name cannot name a file or folder of its own (it is
// empty, only dots and blanks, or holds a path separator or another
// character that Windows does not allow in file names).
constexpr ResultCode kUnusableSaverName = -2203;

// A folder that a path must be built on could not be determined: at start-up
// WINDIR, the system directory, the installer's own folder or the local
// application data; when the saver folder is named, the common application
// data.
constexpr ResultCode kSystemFolderUnknown = -560;

} // namespace result
