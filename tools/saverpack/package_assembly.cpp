#include "package_assembly.h"

#include "file_io.h"

namespace fs = std::filesystem;

namespace {

// A file of the package, with the role it plays in any complaint about it.
// A file of the saver is read only from inside its folder, checked on the
// file as it is opened; the implode library from --library or beside the
// tool is not the saver's.
Bytes readPackageFile(const PackagePlan& plan, const fs::path& source, const std::string& role,
                      bool ofTheSaver = true) {
    try {
        return ofTheSaver ? readFileInside(plan.descriptionFile.parent_path(), source, INT32_MAX)
                          : readWholeFile(source, INT32_MAX);
    } catch (const ToolError& error) {
        throw ToolError(std::string(error.what()) + " (" + role + " in " +
                        displayPath(plan.descriptionFile) + ")");
    }
}

} // namespace

AssembledInstaller assembleInstaller(const PackagePlan& plan, std::span<const std::uint8_t> stub,
                                     const CompressionChoice& choice, std::int64_t imageSize,
                                     ProgressSink& progress) {
    if (!plan.entries[entry::kFirstFile])
        throw ToolError(plan.descriptionFile, "no implode library to carry as impborl.dat");
    if (stub.size() > static_cast<std::size_t>(imageSize))
        throw ToolError("the stub has " + std::to_string(stub.size()) +
                        " bytes, more than the program image's " + std::to_string(imageSize));

    AssembledInstaller result;
    PackageContent content;
    content.header.installMode = plan.installMode;
    content.header.hasLicence = plan.entries[entry::kLicence] ? 1 : 0;
    content.header.hasDocument = plan.entries[entry::kDocument] ? 1 : 0;
    content.header.carriesFlashInstaller = plan.entries[entry::kFlashInstaller] ? 1 : 0;
    content.header.flashAXInstallerVersion = plan.flashAXInstallerVersion;
    content.header.offerControlPanel = plan.offerControlPanel;
    content.header.saverTitle = plan.saverTitle;

    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        const auto& entry = plan.entries[index];
        if (!entry || !entry->source)
            continue;
        EntryContent& placed = content.entries[index].emplace();
        placed.name = entry->name;
        placed.kind = entry->kind;
        placed.compress = entry->compress;
        placed.bytes =
            readPackageFile(plan, *entry->source, entry->role,
                            index != entry::kFirstFile || entry->source == plan.implodeLibrary);
        if (placed.bytes.empty())
            throw ToolError(*entry->source, "is empty; the installer refuses an entry without "
                                            "stored bytes (" +
                                                entry->role + ")");
    }
    const Bytes& library = content.entries[entry::kFirstFile]->bytes;
    if (library.size() < 2 || library[0] != 'M' || library[1] != 'Z')
        throw ToolError(*plan.entries[entry::kFirstFile]->source,
                        "is not a Windows DLL (no \"MZ\" at its start); the installer loads the "
                        "implode library from it");

    DataFileContent dataFile;
    dataFile.settings = plan.settings;
    for (const DataItemPlan& item : plan.dataItems) {
        DataItemContent& placed = dataFile.items.emplace_back();
        placed.name = item.name;
        placed.compress = item.compress;
        if (!item.source) {
            placed.kind = kTableKindCopy;
            continue;
        }
        placed.bytes = readPackageFile(plan, *item.source, "data file \"" + item.name + "\"");
        if (placed.bytes.empty())
            result.warnings.push_back(displayPath(*item.source) + ": empty; the installer writes " +
                                      "no file for the data file \"" + item.name + "\"");
    }

    const EntryPlan& dataEntry = *plan.entries[entry::kDataFile];
    EntryContent& data = content.entries[entry::kDataFile].emplace();
    data.name = dataEntry.name;
    data.kind = dataEntry.kind;
    data.compress = dataEntry.compress;
    try {
        data.bytes = buildDataFile(dataFile, choice, progress);
        result.bytes = buildInstaller(stub, imageSize, content, choice, progress);
    } catch (const std::logic_error& error) { // too many files, or past 2 GB
        throw ToolError(plan.descriptionFile, error.what());
    }
    return result;
}
