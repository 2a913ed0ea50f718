#include "package_listing.h"

#include <algorithm>
#include <iomanip>

#include "implode/implode.h"
#include "payload/entry_destinations.h"

namespace {

constexpr std::uint64_t kHeaderAt = INSTALLER_SIZE_IN_BYTES;
constexpr std::uint64_t kEntriesFrom = kHeaderAt + kInstallerHeaderSize;
constexpr std::size_t kReadPiece = 64 * 1024;

// ---- expansion through the classic callbacks --------------------------------------------

struct ExplodeState {
    ByteSource& source;
    std::uint64_t position;
    std::uint64_t end;
    std::uint64_t limit;
    Bytes* keep;
    Expansion expansion;
};

unsigned int IMPLODE_CDECL readStored(char* buf, unsigned int* size, void* param) {
    auto& state = *static_cast<ExplodeState*>(param);
    if (state.expansion.overflow || state.expansion.readFailed || state.position >= state.end)
        return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>({*size, kReadPiece, state.end - state.position}));
    if (!state.source.read(state.position,
                           std::span(reinterpret_cast<std::uint8_t*>(buf), count))) {
        state.expansion.readFailed = true;
        return 0;
    }
    state.position += count;
    return static_cast<unsigned int>(count);
}

void IMPLODE_CDECL writeExpanded(char* buf, unsigned int* size, void* param) {
    auto& state = *static_cast<ExplodeState*>(param);
    Expansion& expansion = state.expansion;
    // Output past limit + 1 bytes is counted as an overflow and not kept; the
    // next read then ends the input.
    const std::uint64_t room =
        expansion.produced > state.limit ? 0 : state.limit + 1 - expansion.produced;
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(*size, room));
    if (state.keep != nullptr && kept != 0) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buf);
        state.keep->insert(state.keep->end(), bytes, bytes + kept);
    }
    expansion.produced += kept;
    if (expansion.produced > state.limit)
        expansion.overflow = true;
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// What is wrong with an expansion that should give `expected` bytes, or
// nothing when it holds.
std::string expansionProblem(const Expansion& expansion, std::uint64_t expected) {
    if (expansion.readFailed)
        return "its stored bytes cannot all be read";
    if (expansion.overflow)
        return "expands to more than the " + std::to_string(expected) + " bytes it claims";
    if (expansion.result != implode::kResultOk)
        return describeImplodeResult(expansion.result);
    if (expansion.produced != expected)
        return "expands to " + std::to_string(expansion.produced) + " bytes, not the " +
               std::to_string(expected) + " it claims";
    return {};
}

const char* roleName(std::size_t index) {
    switch (index) {
    case entry::kFirstFile:
        return "implode library";
    case entry::kFlashInstaller:
        return "Flash installer";
    case entry::kPreview:
        return "preview";
    case entry::kLicence:
        return "licence";
    case entry::kDocument:
        return "document";
    case entry::kEngine:
        return "engine";
    case entry::kDataFile:
        return "data file";
    case 0:
        return "unused";
    default:
        return "further file";
    }
}

std::string describeEntry(std::size_t index, const PackageEntry& entry) {
    return "entry " + std::to_string(index) + " (" + roleName(index) + ", " + inQuotes(entry.name) +
           ")";
}

const char* installModeName(std::uint8_t mode) {
    switch (mode) {
    case installmode::kBitmap:
        return "bitmap preview";
    case installmode::kMovie:
    case installmode::kMovieToo:
        return "movie preview";
    case installmode::kQuiet:
        return "quiet";
    case installmode::kJpeg:
        return "JPEG preview";
    default:
        return "unknown";
    }
}

bool placesInWorkFolder(std::int32_t kind) {
    return kind == 4 || kind == 7;
}

class Inspector {
  public:
    Inspector(ByteSource& package, InspectionDepth depth, PackageReport& report,
              ProgressSink& progress)
        : package_(package), depth_(depth), report_(report), progress_(progress) {}

    void run();

  private:
    void problem(std::string text) { report_.problems.push_back(std::move(text)); }
    void check(std::string text) { report_.checks.push_back(std::move(text)); }
    bool entryInBounds(std::size_t index, const PackageEntry& entry);
    void checkRole(std::size_t index, const PackageEntry& entry);
    void checkRequired();
    void verifyEntry(std::size_t index, const PackageEntry& entry);
    void readDataFile(const PackageEntry& entry);
    void inspectDataFile(ByteSource& data);
    void inspectItem(ByteSource& data, ItemReport& item, std::uint64_t tableEnd, bool copied);
    void checkLibrary();

    ByteSource& package_;
    InspectionDepth depth_;
    PackageReport& report_;
    ProgressSink& progress_;
    bool anythingCompressed_ = false;
};

// The stored bytes an entry claims, for progress only.
std::uint64_t claimedBytes(std::int64_t stored) {
    return stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
}

void Inspector::run() {
    report_.fileSize = package_.size();
    HeaderBytes bytes{};
    if (report_.fileSize < kEntriesFrom || !package_.read(kHeaderAt, bytes)) {
        problem("too short for a package: " + std::to_string(report_.fileSize) +
                " bytes, while the header alone ends at byte " + std::to_string(kEntriesFrom));
        return;
    }
    report_.headerRead = true;
    report_.header = readInstallerHeaderRecord(bytes);
    const InstallerHeader& header = report_.header;

    if (std::string(installModeName(header.installMode)) == "unknown")
        problem("installMode " + std::to_string(header.installMode) +
                " is none of 1, 2, 3, 4 and 8");
    if (!safeEntryName(header.saverTitle))
        problem("saverTitle " + inQuotes(header.saverTitle) + " cannot name the saver's folder");
    if (header.carriesFlashInstaller && header.flashAXInstallerVersion > 1)
        problem("flashAXInstallerVersion " + std::to_string(header.flashAXInstallerVersion) +
                " is neither 0 nor 1");
    checkRequired();

    std::uint64_t entries = 0;
    std::uint64_t storedBytes = 0;
    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        const PackageEntry& entry = header.entries[index];
        entries += entry.present() ? 1 : 0;
        storedBytes += entry.present() ? claimedBytes(entry.storedSize()) : 0;
    }
    bool dataFileInBounds = false;
    ProgressStage stage(progress_, "checking entries", entries, storedBytes);
    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        const PackageEntry& entry = header.entries[index];
        if (!entry.present())
            continue;
        anythingCompressed_ = anythingCompressed_ || entry.compressed != 0;
        checkRole(index, entry);
        const bool inBounds = entryInBounds(index, entry);
        if (inBounds && index == entry::kDataFile)
            dataFileInBounds = true;
        else if (inBounds && depth_ == InspectionDepth::verify)
            verifyEntry(index, entry);
        stage.advance(claimedBytes(entry.storedSize()));
    }
    if (dataFileInBounds)
        readDataFile(header.entries[entry::kDataFile]);
    checkLibrary();
}

void Inspector::checkRequired() {
    const InstallerHeader& header = report_.header;
    const auto require = [&](std::size_t index, const std::string& when) {
        if (!header.entries[index].present())
            problem("entry " + std::to_string(index) + " (" + roleName(index) + ") is absent" +
                    when + "; the installer stops with -531");
    };
    require(entry::kFirstFile, "");
    if (header.carriesFlashInstaller)
        require(entry::kFlashInstaller, " while carriesFlashInstaller is set");
    if (header.installMode != installmode::kQuiet)
        require(entry::kPreview, " in an installation that is not quiet");
    if (header.hasLicence)
        require(entry::kLicence, " while hasLicence is set");
    if (header.hasDocument)
        require(entry::kDocument, " while hasDocument is set");
    for (std::size_t index = entry::kEngine; index <= entry::kLast; ++index)
        require(index, "");
}

void Inspector::checkRole(std::size_t index, const PackageEntry& entry) {
    const std::string what = describeEntry(index, entry);
    if (!safeEntryName(entry.name))
        problem(what + ": the installer refuses this name");
    InstallerPaths paths;
    if (!entryDestination(paths, "", entry))
        problem(what + ": kind " + std::to_string(entry.kind) + " has no destination");
    switch (index) {
    case entry::kFlashInstaller:
        if (entry.name != kFlashInstallerName && entry.name != kFlashInstaller10Name)
            problem(what + ": not one of the two Flash installer names");
        else if (entry.kind != 3 && !placesInWorkFolder(entry.kind))
            problem(what + ": kind " + std::to_string(entry.kind) +
                    " does not put it in the work folder");
        break;
    case entry::kPreview:
    case entry::kLicence:
    case entry::kDocument:
    case entry::kDataFile:
        if (!placesInWorkFolder(entry.kind))
            problem(what + ": kind " + std::to_string(entry.kind) +
                    " does not put it in the work folder (4 or 7 do)");
        break;
    case entry::kEngine:
        if (entry.kind != 2)
            problem(what + ": kind " + std::to_string(entry.kind) +
                    "; the engine goes to the system folder with kind 2");
        break;
    default:
        break;
    }
}

bool Inspector::entryInBounds(std::size_t index, const PackageEntry& entry) {
    const std::string what = describeEntry(index, entry);
    if (entry.storedSize() < 1) {
        problem(what + ": stored size " + std::to_string(entry.storedSize()) + " (firstByte " +
                std::to_string(entry.firstByte) + ", lastByte " + std::to_string(entry.lastByte) +
                "); the installer refuses sizes below 1 with -7");
        return false;
    }
    if (entry.firstByte < static_cast<std::int64_t>(kEntriesFrom)) {
        problem(what + ": firstByte " + std::to_string(entry.firstByte) +
                " lies before the end of the header, " + std::to_string(kEntriesFrom));
        return false;
    }
    if (static_cast<std::uint64_t>(entry.lastByte) >= report_.fileSize) {
        problem(what + ": lastByte " + std::to_string(entry.lastByte) +
                " lies past the end of the file, " + std::to_string(report_.fileSize) + " bytes");
        return false;
    }
    if (entry.compressed && entry.expandedSize < 0) {
        problem(what + ": expandedSize " + std::to_string(entry.expandedSize) + " is negative");
        return false;
    }
    return true;
}

void Inspector::verifyEntry(std::size_t index, const PackageEntry& entry) {
    const std::string what = describeEntry(index, entry);
    const auto stored = static_cast<std::uint64_t>(entry.storedSize());
    if (!entry.compressed) {
        check(what + ": " + std::to_string(stored) + " bytes stored");
        return;
    }
    const Expansion expansion =
        expandStored(package_, static_cast<std::uint64_t>(entry.firstByte), stored,
                     static_cast<std::uint64_t>(entry.expandedSize), nullptr);
    const std::string wrong =
        expansionProblem(expansion, static_cast<std::uint64_t>(entry.expandedSize));
    if (!wrong.empty())
        problem(what + ": " + wrong);
    else
        check(what + ": " + std::to_string(stored) + " stored bytes expand to " +
              std::to_string(expansion.produced));
}

void Inspector::readDataFile(const PackageEntry& entry) {
    const std::string what = describeEntry(entry::kDataFile, entry);
    const auto first = static_cast<std::uint64_t>(entry.firstByte);
    const auto stored = static_cast<std::uint64_t>(entry.storedSize());
    if (!entry.compressed) {
        if (depth_ == InspectionDepth::verify)
            check(what + ": " + std::to_string(stored) + " bytes stored");
        RangeSource data(package_, first, stored);
        inspectDataFile(data);
        return;
    }
    // Memory grows with the output that is really produced, never with a
    // size the header merely claims.
    Bytes expanded;
    const auto expectedSize = static_cast<std::uint64_t>(entry.expandedSize);
    const Expansion expansion = expandStored(package_, first, stored, expectedSize, &expanded);
    const std::string wrong = expansionProblem(expansion, expectedSize);
    if (!wrong.empty()) {
        problem(what + ": " + wrong + "; its table is not read");
        return;
    }
    if (depth_ == InspectionDepth::verify)
        check(what + ": " + std::to_string(stored) + " stored bytes expand to " +
              std::to_string(expansion.produced));
    MemorySource data(expanded);
    inspectDataFile(data);
}

void Inspector::inspectDataFile(ByteSource& data) {
    DataFileReport& file = report_.dataFile.emplace();
    file.size = data.size();
    SettingsRecord settings;
    if (!data.read(0, settings.bytes)) {
        problem("data file: " + std::to_string(file.size) +
                " bytes, shorter than its settings record (1240)");
        return;
    }
    file.fileCount = settings.fileCount();
    file.saverKind = settings.saverKind();
    if (file.fileCount < 0 || file.fileCount > kMaxDataFiles) {
        problem("data file: fileCount " + std::to_string(file.fileCount) + " is outside 0 to 1010");
        return;
    }
    const std::uint64_t tableEnd =
        kSettingsRecordSize + static_cast<std::uint64_t>(file.fileCount) * kFileTableRecordSize;
    if (tableEnd > file.size) {
        problem("data file: its table of " + std::to_string(file.fileCount) +
                " records runs past its end, " + std::to_string(file.size) + " bytes");
        return;
    }
    ProgressStage stage(progress_, "checking data files",
                        static_cast<std::uint64_t>(file.fileCount), file.size - tableEnd);
    for (std::int32_t i = 0; i < file.fileCount; ++i) {
        TableRecordBytes bytes{};
        data.read(kSettingsRecordSize + static_cast<std::uint64_t>(i) * kFileTableRecordSize,
                  bytes);
        ItemReport& item = file.items.emplace_back();
        item.index = static_cast<std::size_t>(i) + 1;
        item.record = readFileTableRecord(bytes);
        // With saverKind 3 the installer copies the first file whatever its record says.
        const bool copied = item.record.kind == kTableKindCopy ||
                            (i == 0 && file.saverKind == kSaverKindCopiesMovie);
        inspectItem(data, item, tableEnd, copied);
        stage.advance(item.header ? kItemHeaderSize + claimedBytes(item.header->bytesFollowing())
                                  : 0);
    }

    const bool firstIsCopy =
        !file.items.empty() && (file.saverKind == kSaverKindCopiesMovie ||
                                file.items.front().record.kind == kTableKindCopy);
    if (firstIsCopy) {
        bool moviePlaced = false;
        for (std::size_t index :
             {entry::kPreview, entry::kDocument, std::size_t{7}, std::size_t{9}, std::size_t{10}}) {
            const PackageEntry& entry = report_.header.entries[index];
            moviePlaced = moviePlaced || (entry.present() && entry.name == kMovieCopySource &&
                                          placesInWorkFolder(entry.kind));
        }
        if (!moviePlaced)
            problem("data file: its first file is copied from installer.swf in the work folder, "
                    "but no entry puts installer.swf there");
    }
}

void Inspector::inspectItem(ByteSource& data, ItemReport& item, std::uint64_t tableEnd,
                            bool copied) {
    const FileTableRecord& record = item.record;
    const std::string what =
        "data file item " + std::to_string(item.index) + " " + inQuotes(record.name);
    if (record.name.empty())
        return; // skipped by the installer
    if (!safeDataFileName(record.name))
        problem(what + ": the installer refuses this name");
    if (copied)
        return;
    if (record.itemOffset < 0 || static_cast<std::uint64_t>(record.itemOffset) < tableEnd ||
        static_cast<std::uint64_t>(record.itemOffset) + kItemHeaderSize > data.size()) {
        problem(what + ": itemOffset " + std::to_string(record.itemOffset) +
                " does not lie between the table's end (" + std::to_string(tableEnd) +
                ") and the data file's end (" + std::to_string(data.size()) + ")");
        return;
    }
    ItemHeaderBytes bytes{};
    data.read(static_cast<std::uint64_t>(record.itemOffset), bytes);
    const ItemHeader header = readItemHeader(bytes);
    item.header = header;
    if (header.compressed != 0)
        anythingCompressed_ = true;
    if (header.size < 0) {
        problem(what + ": size " + std::to_string(header.size) + " is negative");
        return;
    }
    if (header.size == 0) {
        if (depth_ == InspectionDepth::verify)
            check(what + ": empty, no file is written");
        return;
    }
    const std::int64_t stored = header.bytesFollowing();
    const std::uint64_t from = static_cast<std::uint64_t>(record.itemOffset) + kItemHeaderSize;
    if (stored < 1) {
        problem(what + ": " + std::to_string(stored) +
                " stored bytes; the installer refuses sizes below 1 with -7");
        return;
    }
    if (static_cast<std::uint64_t>(stored) > data.size() - from) {
        problem(what + ": its " + std::to_string(stored) +
                " stored bytes run past the data file's end");
        return;
    }
    if (depth_ != InspectionDepth::verify)
        return;
    if (header.compressed == 0) {
        check(what + ": " + std::to_string(stored) + " bytes stored");
        return;
    }
    const Expansion expansion = expandStored(data, from, static_cast<std::uint64_t>(stored),
                                             static_cast<std::uint64_t>(header.size), nullptr);
    const std::string wrong = expansionProblem(expansion, static_cast<std::uint64_t>(header.size));
    if (!wrong.empty())
        problem(what + ": " + wrong);
    else
        check(what + ": " + std::to_string(stored) + " stored bytes expand to " +
              std::to_string(expansion.produced));
}

// Entry 1 is extracted before anything is expanded: when anything is
// compressed it has to be the implode library itself, stored.
void Inspector::checkLibrary() {
    const PackageEntry& library = report_.header.entries[entry::kFirstFile];
    if (!library.present())
        return;
    const std::string what = describeEntry(entry::kFirstFile, library);
    if (library.compressed) {
        problem(what + ": compressed, but nothing can expand it before it is in place");
        return;
    }
    if (!anythingCompressed_)
        return;
    if (library.name != kImplodeLibraryEntryName || library.kind != 4) {
        problem(what + ": the package has compressed files, so entry 1 must be the implode "
                       "library, \"impborl.dat\" of kind 4");
        return;
    }
    std::array<std::uint8_t, 2> signature{};
    if (library.storedSize() >= 2 && library.firstByte >= 0 &&
        package_.read(static_cast<std::uint64_t>(library.firstByte), signature) &&
        (signature[0] != 'M' || signature[1] != 'Z'))
        problem(what + ": not a Windows DLL (no \"MZ\" at its start)");
}

} // namespace

Expansion expandStored(ByteSource& source, std::uint64_t offset, std::uint64_t storedSize,
                       std::uint64_t limit, Bytes* keep) {
    ExplodeState state{source, offset, offset + storedSize, limit, keep, {}};
    if (offset > source.size() || storedSize > source.size() - offset) {
        state.expansion.readFailed = true;
        return state.expansion;
    }
    std::vector<char> workArea(implode::kExplodeWorkAreaSize);
    state.expansion.result = implode::explode(readStored, writeExpanded, workArea.data(), &state);
    return state.expansion;
}

std::string describeImplodeResult(unsigned int result) {
    switch (result) {
    case implode::kResultOk:
        return "no fault";
    case implode::kResultInvalidDictionarySize:
        return "is not an implode stream (its header names no dictionary size)";
    case implode::kResultInvalidMode:
        return "is not an implode stream (its header names no literal mode)";
    case implode::kResultBadDistance:
        return "is a damaged implode stream (a copy reaches before its start)";
    case implode::kResultTruncatedInput:
        return "is a truncated implode stream";
    default:
        return "fails with implode result " + std::to_string(result);
    }
}

PackageReport inspectPackage(ByteSource& package, InspectionDepth depth, ProgressSink& progress) {
    PackageReport report;
    Inspector(package, depth, report, depth == InspectionDepth::verify ? progress : noProgress())
        .run();
    return report;
}

void printListing(const PackageReport& report, std::ostream& out) {
    out << "file size                " << report.fileSize << " bytes\n";
    if (!report.headerRead)
        return;
    const InstallerHeader& header = report.header;
    out << "program image            " << INSTALLER_SIZE_IN_BYTES << " bytes, header at "
        << INSTALLER_SIZE_IN_BYTES << "\n";
    out << "installMode              " << int{header.installMode} << " ("
        << installModeName(header.installMode) << ")\n";
    out << "hasLicence               " << int{header.hasLicence} << "\n";
    out << "hasDocument              " << int{header.hasDocument} << "\n";
    out << "carriesFlashInstaller    " << int{header.carriesFlashInstaller} << "\n";
    out << "flashAXInstallerVersion  " << int{header.flashAXInstallerVersion} << "\n";
    out << "offerControlPanel        " << int{header.offerControlPanel} << "\n";
    out << "saverTitle               " << inQuotes(header.saverTitle) << "\n\n";

    out << "entry  kind  compressed   firstByte    lastByte      stored    expanded  name\n";
    for (std::size_t index = 0; index < kPackageEntryCount; ++index) {
        const PackageEntry& entry = header.entries[index];
        if (!entry.present())
            continue;
        out << std::setw(5) << index << std::setw(6) << entry.kind << std::setw(12)
            << int{entry.compressed} << std::setw(12) << entry.firstByte << std::setw(12)
            << entry.lastByte << std::setw(12) << entry.storedSize() << std::setw(12)
            << entry.expandedSize << "  " << entry.name << "\n";
    }
    if (!report.dataFile)
        return;
    const DataFileReport& data = *report.dataFile;
    out << "\ndata file (entry 8, " << inQuotes(header.entries[entry::kDataFile].name)
        << "): " << data.size << " bytes, fileCount " << data.fileCount << ", saverKind "
        << data.saverKind << "\n";
    if (data.items.empty())
        return;
    out << " item  kind  itemOffset  compressed      stored        size  name\n";
    for (const ItemReport& item : data.items) {
        out << std::setw(5) << item.index << std::setw(6) << int{item.record.kind};
        if (item.header) {
            const ItemHeader& h = *item.header;
            out << std::setw(12) << item.record.itemOffset << std::setw(12) << h.compressed
                << std::setw(12) << (h.size == 0 ? 0 : h.bytesFollowing()) << std::setw(12)
                << h.size << "  " << item.record.name << "\n";
        } else if (item.record.name.empty()) {
            out << std::setw(48) << ""
                << "  (no name: skipped)\n";
        } else if (item.record.kind == kTableKindCopy ||
                   (item.index == 1 && data.saverKind == kSaverKindCopiesMovie)) {
            out << std::setw(48) << ""
                << "  " << item.record.name
                << (item.index == 1 ? "  (copy of installer.swf)" : "  (copy of item 1)") << "\n";
        } else {
            out << std::setw(12) << item.record.itemOffset << std::setw(36) << ""
                << "  " << item.record.name << "  (item header unreadable)\n";
        }
    }
}
