// The saver's own data folder: an older saver of the same short name is set
// aside (after asking, unless quiet) and the folder is made.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result_codes.h"
#include "platform/platform.h"
#include "system/earlier_saver.h"

// The saver's settings file in its folder.
constexpr const char* kSettingsFileName = "saver.dat";

// Prepares `rootFolder` + `shortName` + "\" for a new saver. An older saver
// there (its engine file short name + ".scr" or its folder) is set aside into
// `earlier`, and so is one in `windowsDir`: its engine file, and its folder
// when that holds "saver.dat" and carries neither the system nor the
// read-only attribute (a folder of Windows named like the saver stays).
// `besideFolder` names the saver's other places (its engine copies, its
// libraries): whatever of them exists is set aside too. When there is an
// older saver and `ask` is set, the user is asked first with `title` +
// `questionSuffix` (OK, Cancel). Returns 0, -454 when the user did not choose
// OK (nothing is touched then), -38 or -32 when something could not be set
// aside (everything is put back then), -2203 for a short name that cannot name
// a folder, -560 for an empty folder, or the Windows error of a failed folder
// creation. Both folders end with a backslash.
ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask,
                              EarlierSaver& earlier,
                              const std::vector<std::string>& besideFolder = {});

// The same, with the older saver deleted at once instead of kept.
ResultCode prepareSaverFolder(platform::Platform& platform, const std::string& windowsDir,
                              const std::string& rootFolder, const std::string& shortName,
                              const std::string& title, std::string_view questionSuffix, bool ask);
