// The saver's own data folder: an older saver of the same short name is
// removed (after asking, unless quiet) and the folder is made.
#pragma once

#include <string>
#include <string_view>

#include "base/result_codes.h"
#include "platform/platform.h"

// The saver's settings file in its folder.
constexpr const char* kSettingsFileName = "saver.dat";

// Prepares `rootFolder` + `shortName` + "\" for a new saver. An older saver
// there (its engine file short name + ".scr" or its folder) is removed, and
// so is one in `windowsDir`: its engine file, and its folder when that holds
// "saver.dat" and carries neither the system nor the read-only attribute (a
// folder of Windows named like the saver stays). When there is an older
// saver and `ask` is set, the user is asked first with `title` +
// `questionSuffix` (OK, Cancel). Returns 0, -454 when the user did not choose
// OK (nothing is touched then), -2203 for a short name that cannot name a
// folder, -560 for an empty folder, or the Windows error of a failed folder
// creation. Both folders end with a backslash.
ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask);
