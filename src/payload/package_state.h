// What the installer knows about its package for the whole run: the header,
// the paths derived from it, the settings record, the file table and the
// open saver data file.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "payload/package_records.h"
#include "platform/platform.h"

struct PackageState {
    InstallerHeader header;
    std::string executablePath;
    std::string packageCopyPath; // workDir + "temp.dat"
    std::string saverTitle;
    std::string saverShortName;
    std::string saverFolder;  // sharedSaverRoot + short name + "\"
    std::string dataFilePath; // workDir + name of entry 8

    SettingsRecord settings;
    // Slots 1 to fileCount hold the records; slot 0 stays unused.
    std::array<FileTableRecord, kMaxDataFiles + 1> fileTable;
    std::unique_ptr<platform::File> dataFile;
    bool dataFileOpen = false;
};
