#include "payload/file_extraction.h"

#include <algorithm>
#include <vector>

#include "base/texts.h"
#include "base/trace.h"
#include "payload/compression/implode_library.h"
#include "payload/data_file.h"
#include "payload/entry_destinations.h"
#include "system/file_operations.h"
#include "system/path_names.h"
#include "system/saver_folder.h"

namespace {

constexpr std::uint32_t kCopyChunk = 256 * 1024;

ResultCode asResult(platform::WinError error) {
    return static_cast<ResultCode>(error);
}

// The bytes left in a file from `offset` on, or -1 when it cannot be told.
std::int64_t bytesFrom(platform::File& file, std::int64_t offset) {
    std::uint64_t size = 0;
    if (offset < 0 || file.size(size) != platform::kErrorNone)
        return -1;
    return static_cast<std::int64_t>(size) - offset;
}

// Expands stored bytes into `target` and checks the result's size.
ResultCode expandInto(InstallerContext& context, platform::File& source, std::int64_t storedSize,
                      const std::string& target, std::int64_t expectedSize,
                      ResultCode shortReadCode, bool& created) {
    TCompressor compressor(context.platform, context.paths.workDir, context.explodeWorkArea);
    if (!compressor.usable())
        return result::kNoDecompressor;
    if (expectedSize < 0)
        return result::kExpandedSizeWrong; // no file has a negative size
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(storedSize));
    if (platform::readExactly(source, buffer.data(), static_cast<std::uint32_t>(storedSize)) !=
        platform::kErrorNone)
        return shortReadCode;
    // A stream that would grow past the expected size is cut one byte
    // beyond it: the size check below then refuses it.
    const std::uint64_t limit = static_cast<std::uint64_t>(expectedSize) + 1;
    created = compressor.Expand(target, buffer.data(), buffer.size(), limit) == result::kOk;
    const auto size = context.platform.files.fileSize(target);
    if (!size)
        return result::kExpandedFileMissing;
    if (*size != static_cast<std::uint64_t>(expectedSize))
        return result::kExpandedSizeWrong;
    return result::kOk;
}

// Copies stored bytes into a new `target` in pieces.
ResultCode copyInto(InstallerContext& context, platform::File& source, std::int64_t size,
                    const std::string& target, ResultCode shortReadCode, bool& created) {
    platform::WinError error = platform::kErrorNone;
    auto out = context.platform.files.openFile(target, platform::OpenMode::CreateAlways, error);
    if (!out) {
        trace("Last Error: ", std::to_string(error) + " " +
                                  context.platform.system.errorMessageText(asResult(error)));
        return asResult(error);
    }
    created = true;
    trace("file created: ", target);
    std::vector<std::uint8_t> chunk(
        static_cast<std::size_t>(std::min<std::int64_t>(size, kCopyChunk)));
    std::int64_t copied = 0;
    while (copied < size) {
        const auto piece =
            static_cast<std::uint32_t>(std::min<std::int64_t>(size - copied, kCopyChunk));
        std::uint32_t got = 0;
        if (source.read(chunk.data(), piece, got) != platform::kErrorNone || got == 0)
            break;
        if (const platform::WinError writeError = platform::writeAll(*out, chunk.data(), got))
            return asResult(writeError);
        copied += got;
    }
    trace("sizeExtracted: ", copied);
    return copied == size ? result::kOk : shortReadCode;
}

// The code the installer runs from the work folder is held from its writing
// on: the implode library (whichever entry writes it) and the player
// installer where it is started from. Returns 0 or the hold's Windows error.
ResultCode holdWrittenCode(InstallerContext& context, std::size_t index,
                           const std::string& destination) {
    const std::string& workDir = context.paths.workDir;
    std::unique_ptr<platform::HeldPath>* slot = nullptr;
    if (lowerAscii(destination) == lowerAscii(workDir + kImplodeLibraryName))
        slot = &context.heldLibrary;
    else if (index == entry::kFlashInstaller &&
             destination == workDir + context.package.header.entries[index].name)
        slot = &context.heldPlayerInstaller;
    if (!slot)
        return result::kOk;
    platform::WinError error = platform::kErrorNone;
    *slot = context.platform.files.holdFile(destination, error);
    return *slot ? result::kOk : asResult(error);
}

// Keeps the implode library of the work folder loaded through a run of
// expansions. Each expansion still loads and releases it for itself, but the
// system then maps the file once, not once per file. Nothing depends on it:
// a library that cannot be loaded here is left to each expansion to report.
class ImplodeLibraryKept {
  public:
    explicit ImplodeLibraryKept(InstallerContext& context) {
        const std::string path = context.paths.workDir + kImplodeLibraryName;
        if (context.paths.workDir.empty() || !context.platform.files.fileExists(path))
            return;
        platform::WinError error = platform::kErrorNone;
        library_ = context.platform.libraries.load(path, error);
    }

  private:
    std::unique_ptr<platform::LoadedLibrary> library_;
};

} // namespace

ResultCode extractEntry(InstallerContext& context, platform::File& installerFile, std::size_t index,
                        bool progress) {
    if (progress)
        context.reporter.setStatusText(std::string(text::kWritingSaverFiles));
    const PackageEntry& entry = context.package.header.entries[index];
    ResultCode code = result::kOk;
    std::string destination;

    if (!entry.present()) {
        code = result::kEntryAbsent;
    } else if (!safeEntryName(entry.name)) {
        code = result::kUnsafeEntryName;
        destination = entry.name;
    } else if (const auto target =
                   entryDestination(context.paths, context.package.saverFolder, entry);
               target && !folderPart(*target).empty()) {
        destination = *target;
    } else {
        // A kind without a destination, or one whose folder is not known: the
        // saver folder before the saver paths are set, or the common
        // application data on a shell without one.
        code = result::kEntryKindUnknown;
        destination = entry.name;
    }

    if (code == result::kOk) {
        std::uint64_t position = 0;
        if (entry.firstByte < 0 || installerFile.seek(entry.firstByte, platform::SeekOrigin::Begin,
                                                      position) != platform::kErrorNone)
            code = result::kShortRead;
    }
    const bool library = code == result::kOk && libraryDestination(destination);
    if (code == result::kOk) {
        if (progress)
            context.reporter.stepProgress();
        const ResultCode cleared =
            library
                ? deleteFileWithRetries(context.platform.files, destination, kLibraryDeleteAttempts)
                : deleteFileOnce(context.platform.files, destination);
        // A file in the work folder is busy only while this run holds it (the
        // implode library written once already): it stays as it is. Anywhere
        // else a file that cannot be replaced ends the run, since its old
        // version would stay while success was reported.
        if (cleared != result::kOk) {
            if (folderPart(destination) == context.paths.workDir)
                return result::kOk;
            code = index == entry::kEngine ? result::kSaverBusy : result::kFileBusy;
        }
    }
    bool reported = false;

    if (code == result::kOk) {
        const std::int64_t storedSize = entry.storedSize();
        const std::int64_t available = bytesFrom(installerFile, entry.firstByte);
        if (storedSize < 1)
            code = result::kNoStoredBytes;
        else if (available < storedSize)
            code = result::kShortRead; // refused before any memory is taken
        else {
            bool created = false;
            code = entry.compressed ? expandInto(context, installerFile, storedSize, destination,
                                                 entry.expandedSize, result::kShortRead, created)
                                    : copyInto(context, installerFile, storedSize, destination,
                                               result::kShortRead, created);
        }
    }
    if (code == result::kOk)
        code = holdWrittenCode(context, index, destination);

    if (code == result::kOk && entry.kind == 2 && context.osClass == osclass::kWindows64 &&
        !context.paths.nativeSystemDir.empty()) {
        const std::string native = context.paths.nativeSystemDir + entry.name;
        trace("copyFileToSystemNativeDir: ", native);
        code =
            asResult(copyFileCreatingFolders(context.platform.files, destination, native, false));
        if (code != result::kOk) {
            context.reporter.showInstallError(code, native);
            reported = true;
        }
    }
    if (code != result::kOk && !reported) {
        trace("myError: ", code);
        // A library that fails is not reported here, unless it is busy.
        if (!library || code == result::kFileBusy)
            context.reporter.showInstallError(code, destination);
    }
    return code;
}

std::vector<std::string> placesBesideSaverFolder(const InstallerContext& context) {
    std::vector<std::string> places;
    const PackageState& package = context.package;
    const std::string& workDir = context.paths.workDir;
    const std::size_t first = package.header.hasDocument ? entry::kDocument : entry::kEngine;
    for (std::size_t index = first; index <= entry::kLast; ++index) {
        const PackageEntry& entry = package.header.entries[index];
        if (!entry.present() || !safeEntryName(entry.name))
            continue;
        const auto target = entryDestination(context.paths, package.saverFolder, entry);
        if (!target || folderPart(*target).empty())
            continue;
        const std::string folder = lowerAscii(folderPart(*target));
        if ((!workDir.empty() && folder == lowerAscii(workDir)) ||
            (!package.saverFolder.empty() && folder == lowerAscii(package.saverFolder)))
            continue;
        places.push_back(*target);
        if (entry.kind == 2 && context.osClass == osclass::kWindows64 &&
            !context.paths.nativeSystemDir.empty())
            places.push_back(context.paths.nativeSystemDir + entry.name);
    }
    return places;
}

ResultCode extractMainEntries(InstallerContext& context, const std::string& path) {
    const std::size_t first =
        context.package.header.hasDocument ? entry::kDocument : entry::kEngine;
    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(path, platform::OpenMode::ReadExisting, error);
    if (!file) {
        context.reporter.showInstallError(asResult(error), path);
        return asResult(error);
    }
    const ImplodeLibraryKept library(context);
    ResultCode code = result::kOk;
    for (std::size_t index = first;
         index <= entry::kLast && code == result::kOk && !context.reporter.cancelled(); ++index)
        code = extractEntry(context, *file, index, true);
    return code;
}

ResultCode extractSingleEntry(InstallerContext& context, std::size_t index) {
    if (!context.package.header.entries[index].present())
        return result::kEntryAbsent;
    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(context.package.packageCopyPath,
                                                platform::OpenMode::ReadExisting, error);
    if (!file) {
        context.reporter.showInstallError(asResult(error), context.paths.workDir);
        return asResult(error);
    }
    return extractEntry(context, *file, index, false);
}

ResultCode extractPreview(InstallerContext& context) {
    InstallerHeader& header = context.package.header;
    PackageEntry& preview = header.entries[entry::kPreview];
    if (preview.present()) {
        if (header.installMode == installmode::kBitmap)
            preview.name = replaceExtension(preview.name, ".BMP").substr(0, kEntryNameField);
        else if (header.installMode == installmode::kJpeg)
            preview.name = replaceExtension(preview.name, ".jpg").substr(0, kEntryNameField);
    }
    return extractSingleEntry(context, entry::kPreview);
}

ResultCode extractLicence(InstallerContext& context) {
    return extractSingleEntry(context, entry::kLicence);
}

ResultCode extractDocument(InstallerContext& context) {
    return extractSingleEntry(context, entry::kDocument);
}

ResultCode extractDataItem(InstallerContext& context, const std::string& folder,
                           std::size_t index) {
    PackageState& package = context.package;
    if (index < 1 || static_cast<std::int64_t>(index) > package.settings.fileCount())
        return result::kItemIndexTooHigh;
    if (!package.dataFileOpen || !package.dataFile)
        return result::kDataFileNotOpen;

    platform::File& data = *package.dataFile;
    const FileTableRecord& record = package.fileTable[index];
    const std::string target = folder + record.name.substr(0, kTableNameField);
    ResultCode code = result::kOk;
    bool created = false;

    ItemHeaderBytes headerBytes;
    std::uint64_t position = 0;
    if (record.itemOffset < 0)
        code = result::kReadPastEnd;
    else if (const platform::WinError error =
                 data.seek(record.itemOffset, platform::SeekOrigin::Begin, position))
        code = asResult(error);
    else
        code = asResult(platform::readExactly(data, headerBytes.data(), kItemHeaderSize));

    if (code == result::kOk) {
        const ItemHeader item = readItemHeader(headerBytes);
        if (item.size == 0)
            return result::kOk;
        if (!context.platform.files.folderExists(folderPart(target)))
            forceFolders(context.platform.files, folderPart(target));
        const std::int64_t stored = item.bytesFollowing();
        const std::int64_t available =
            bytesFrom(data, static_cast<std::int64_t>(record.itemOffset) + kItemHeaderSize);
        if (stored < 1)
            code = result::kNoStoredBytes;
        else if (available < stored)
            code = result::kReadPastEnd; // refused before any memory is taken
        else if (item.compressed)
            code =
                expandInto(context, data, stored, target, item.size, result::kReadPastEnd, created);
        else
            code = copyInto(context, data, stored, target, result::kReadPastEnd, created);
    }

    if (code > 0) {
        context.platform.ui.messageDialog(platform::DialogKind::Error,
                                          std::string(text::kVellarmontError) +
                                              std::string(text::kProblemReadingDataFile) +
                                              context.platform.system.errorMessageText(code),
                                          {platform::DialogButton::Abort});
    }
    if (code != result::kOk && created)
        deleteFileOnce(context.platform.files, target);
    if (code == result::kOk && created)
        recordInstalledFile(context.installedFiles, target);
    return code;
}

ResultCode expandDataFiles(InstallerContext& context) {
    PackageState& package = context.package;
    context.reporter.setStatusText(std::string(text::kExpandingFiles));
    bool loaded = false;
    ResultCode code = openDataFile(context, package.dataFilePath, true, loaded);
    if (code != result::kOk)
        return code;

    const std::int32_t count = package.settings.fileCount();
    // Every name is checked before anything is written.
    for (std::int32_t i = 1; i <= count; ++i) {
        const std::string& name = package.fileTable[static_cast<std::size_t>(i)].name;
        if (!name.empty() && !safeDataFileName(name)) {
            context.reporter.showInstallError(result::kUnsafeDataFileName, name);
            closeDataFile(context);
            return result::kUnsafeDataFileName;
        }
    }

    if (package.settings.saverKind() == kSaverKindCopiesMovie)
        package.fileTable[1].kind = kTableKindCopy;
    const std::string firstName = package.fileTable[1].name;
    const ImplodeLibraryKept library(context);
    for (std::int32_t i = 1; i <= count && code == result::kOk; ++i) {
        const FileTableRecord& record = package.fileTable[static_cast<std::size_t>(i)];
        if (record.name.empty())
            continue;
        if (record.kind == kTableKindCopy) {
            const std::string source =
                i == 1 ? context.paths.workDir + kMovieCopySource : package.saverFolder + firstName;
            const std::string target = package.saverFolder + record.name;
            if (copyFileCreatingFolders(context.platform.files, source, target, false) !=
                    platform::kErrorNone &&
                source != target) {
                context.reporter.showInstallError(result::kDataFileCopyFailed, source);
                code = result::kDataFileCopyFailed;
            }
        } else {
            code = extractDataItem(context, package.saverFolder, static_cast<std::size_t>(i));
        }
    }

    if (code == result::kOk) {
        code = closeDataFile(context);
        context.reporter.stepProgress();
    } else {
        // Closed on failure too, so that the work folder can be removed.
        closeDataFile(context);
    }
    const std::string first = package.saverFolder + firstName;
    if (!firstName.empty() && context.platform.files.fileExists(first)) {
        if (const auto attributes = context.platform.files.attributes(first))
            context.platform.files.setAttributes(first, *attributes | platform::attr::kArchive);
    }
    return code;
}

ResultCode writeSaverSettings(InstallerContext& context) {
    context.reporter.setStatusText(std::string(text::kWritingSaverDataFile));
    const std::string path = context.package.saverFolder + kSettingsFileName;
    platform::WinError error = platform::kErrorNone;
    auto file = context.platform.files.openFile(path, platform::OpenMode::CreateAlways, error);
    if (file)
        error =
            platform::writeAll(*file, context.package.settings.bytes.data(), kSettingsRecordSize);
    if (error != platform::kErrorNone) {
        context.reporter.showInstallError(asResult(error), path);
        return asResult(error);
    }
    return result::kOk;
}

ResultCode copyCompanionFiles(InstallerContext& context) {
    const PackageState& package = context.package;
    const auto copyOne = [&](std::size_t index) -> ResultCode {
        const std::string& name = package.header.entries[index].name;
        const std::string source = context.paths.workDir + name;
        if (!context.platform.files.fileExists(source))
            return result::kExpandedFileMissing;
        return asResult(copyFileCreatingFolders(context.platform.files, source,
                                                package.saverFolder + name, false));
    };
    ResultCode code = result::kOk;
    if (package.header.hasLicence && !context.reporter.quiet())
        code = copyOne(entry::kLicence);
    if (package.header.hasDocument) {
        const ResultCode document = copyOne(entry::kDocument);
        if (document == result::kExpandedFileMissing)
            return document;
        if (document != result::kOk)
            code = document;
    }
    return code;
}

void openDocument(InstallerContext& context) {
    const PackageState& package = context.package;
    if (package.header.hasDocument)
        context.platform.shell.openDocument(package.saverFolder +
                                            package.header.entries[entry::kDocument].name);
}
