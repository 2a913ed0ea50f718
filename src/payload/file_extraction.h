// Taking the package apart: every entry and every data-file item lands at
// its destination, with its checks, and "saver.dat" is written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "payload/installer_context.h"
#include "platform/platform.h"

// Extracts one entry from the open installer file to its destination.
ResultCode extractEntry(InstallerContext& context, platform::File& installerFile, std::size_t index,
                        bool progress);

// Where the entries placed during the installation land outside the saver
// folder and the work folder: the system folder (and the native one on
// 64-bit Windows) and the shared folder's libraries.
std::vector<std::string> placesBesideSaverFolder(const InstallerContext& context);

// Extracts the entries placed during the installation (5 or 6 to 10).
ResultCode extractMainEntries(InstallerContext& context, const std::string& path);

ResultCode extractPreview(InstallerContext& context);
ResultCode extractLicence(InstallerContext& context);
ResultCode extractDocument(InstallerContext& context);

// Places every file of the saver data file in the saver folder.
ResultCode expandDataFiles(InstallerContext& context);
ResultCode extractDataItem(InstallerContext& context, const std::string& folder, std::size_t index);

ResultCode writeSaverSettings(InstallerContext& context);
ResultCode copyCompanionFiles(InstallerContext& context);
void openDocument(InstallerContext& context);

// Opens the package copy and extracts one entry without progress display.
ResultCode extractSingleEntry(InstallerContext& context, std::size_t index);
