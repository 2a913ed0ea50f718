// The saver data file: its settings record, its file table, and the open
// file that the items are read from.
#pragma once

#include <string>

#include "base/result_codes.h"
#include "payload/installer_context.h"

// Reads the settings record from the data file in the work folder.
ResultCode readSettingsRecord(InstallerContext& context);

// Opens the data file, reads the settings record and the file table, and
// keeps the file open for the items. `loaded` tells that the file is open.
ResultCode openDataFile(InstallerContext& context, const std::string& path, bool report,
                        bool& loaded);

// Ends the use of the open data file. A close that fails is shown in the
// error dialog and returns the system's code; the file counts as closed.
ResultCode closeDataFile(InstallerContext& context);
