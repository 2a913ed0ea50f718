#include "package_description.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "file_io.h"
#include "payload/entry_destinations.h"
#include "system/path_names.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kWorkFolder = "<work folder>\\";
constexpr const char* kSystemFolder = "<system folder>\\";
constexpr const char* kSaverRoot = "<shared saver folder>\\";
constexpr const char* kSaverFolder = "<saver folder>\\";
constexpr const char* kMovieSource = "installer.swf";

bool printableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b < 0x7F;
    });
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

constexpr std::string_view kNotAscii = " has characters other than printable ASCII, which the "
                                       "installer would read in the Windows ANSI code page";

// A name that reaches outside the saver folder: from the root, a drive, or
// through a ".." part.
bool climbsOut(std::string_view name) {
    if (name.starts_with('\\') || (name.size() >= 2 && name[1] == ':'))
        return true;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('\\', start), name.size());
        if (name.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}

std::string kindList(std::initializer_list<std::int32_t> kinds) {
    std::string list;
    for (std::int32_t kind : kinds)
        list += (list.empty() ? "" : ", ") + std::to_string(kind);
    return list;
}

// A field's path below `where`: "dataFile" and "files" give "dataFile.files".
std::string fieldPath(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

// Reads the fields of the description. Every complaint reads
// "FILE: FIELD: PROBLEM", the field written as its path in the JSON
// ("dataFile.files[3].name").
class DescriptionReader {
  public:
    explicit DescriptionReader(const fs::path& file) : file_(file), base_(file.parent_path()) {}

    [[noreturn]] void fail(const std::string& field, const std::string& problem) const {
        throw ToolError(file_, field + ": " + problem);
    }

    // Keys that begin with "//" explain their siblings and are skipped.
    void onlyKeys(const json& object, std::initializer_list<std::string_view> keys,
                  const std::string& where) const {
        for (const auto& [key, value] : object.items()) {
            if (!key.starts_with(kExplanationPrefix) &&
                std::find(keys.begin(), keys.end(), key) == keys.end())
                fail(fieldPath(where, key), "unknown field");
        }
    }

    const json& object(const json& value, const std::string& where) const {
        if (!value.is_object())
            fail(where, "must be an object");
        return value;
    }

    std::string text(const json& value, const std::string& where) const {
        if (!value.is_string())
            fail(where, "must be a text");
        return value.get<std::string>();
    }

    bool flag(const json& value, const std::string& where) const {
        if (!value.is_boolean())
            fail(where, "must be true or false");
        return value.get<bool>();
    }

    std::int64_t integer(const json& value, const std::string& where) const {
        if (!value.is_number_integer())
            fail(where, "must be a whole number");
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > INT32_MAX)
            fail(where, "is out of range");
        const std::int64_t number = value.get<std::int64_t>();
        if (number < INT32_MIN || number > INT32_MAX)
            fail(where, "is out of range");
        return number;
    }

    fs::path path(const json& value, const std::string& where) const {
        const std::string relative = text(value, where);
        if (relative.empty())
            fail(where, "names no file");
        const fs::path named = base_ / pathFromUtf8(relative);
        checkStaysInside(base_, named);
        return named;
    }

    const fs::path& file() const { return file_; }
    // The saver's folder: the description's own, where its paths start.
    const fs::path& base() const { return base_; }

  private:
    fs::path file_;
    fs::path base_;
};

void checkEntryName(const DescriptionReader& reader, const std::string& name,
                    const std::string& field) {
    if (const std::string problem = entryNameProblem(name); !problem.empty())
        reader.fail(field, problem);
}

void checkDataFileName(const DescriptionReader& reader, const std::string& name,
                       const std::string& field, const std::string& found = {}) {
    if (const std::string problem = dataFileNameProblem(name); !problem.empty())
        reader.fail(field, found.empty() ? problem : problem + " (" + found + ")");
}

EntryPlan readEntry(const DescriptionReader& reader, const json& value, const std::string& role,
                    std::int32_t defaultKind, std::initializer_list<std::int32_t> kinds) {
    EntryPlan plan;
    plan.role = role;
    plan.nameField = role;
    plan.kind = defaultKind;
    if (value.is_string()) {
        plan.source = reader.path(value, role);
    } else if (value.is_object()) {
        reader.onlyKeys(value, {"file", "name", "kind", "compress"}, role);
        if (!value.contains("file"))
            reader.fail(role + ".file", "is missing");
        plan.nameField = role + (value.contains("name") ? ".name" : ".file");
        plan.source = reader.path(value["file"], role + ".file");
        if (value.contains("name"))
            plan.name = reader.text(value["name"], role + ".name");
        if (value.contains("kind"))
            plan.kind = static_cast<std::int32_t>(reader.integer(value["kind"], role + ".kind"));
        if (value.contains("compress"))
            plan.compress = reader.flag(value["compress"], role + ".compress");
    } else {
        reader.fail(role, "must be a file name or an object with \"file\"");
    }
    if (!value.is_object() || !value.contains("name"))
        plan.name = utf8Of(plan.source->filename());
    checkEntryName(reader, plan.name, plan.nameField);
    if (std::find(kinds.begin(), kinds.end(), plan.kind) == kinds.end())
        reader.fail(role + ".kind", "kind " + std::to_string(plan.kind) +
                                        " does not place this file where the installer needs "
                                        "it; allowed: " +
                                        kindList(kinds));
    return plan;
}

} // namespace

namespace {

// The entries of `folder`, sorted by name, so that the first problem found
// is the same on every file system.
std::vector<fs::directory_entry> sortedEntries(const fs::path& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error))
        entries.push_back(*it);
    if (error)
        throw ToolError(folder, "cannot be read: " + error.message());
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path() < b.path(); });
    return entries;
}

// Walks `at` below `top`, following the links that stay inside `saverFolder`.
// `open` holds the resolved folders being walked, to refuse a link back into
// one of them, which would never end.
void walkBelow(const fs::path& saverFolder, const fs::path& top, const fs::path& at,
               const std::string& under, std::vector<fs::path>& open,
               std::vector<std::pair<std::string, fs::path>>& files) {
    for (const fs::directory_entry& found : sortedEntries(at)) {
        std::error_code error;
        if (found.is_symlink(error))
            checkStaysInside(saverFolder, found.path());
        if (found.is_directory(error)) {
            const fs::path resolved = fs::canonical(found.path(), error);
            if (error)
                throw ToolError(found.path(), "cannot be read: " + error.message());
            if (std::find(open.begin(), open.end(), resolved) != open.end())
                throw ToolError(found.path(), "a symbolic link to a folder that holds it; its "
                                              "files would be packed without end");
            open.push_back(resolved);
            walkBelow(saverFolder, top, found.path(), under, open, files);
            open.pop_back();
            continue;
        }
        if (!found.is_regular_file(error))
            throw ToolError(found.path(), "neither a file nor a folder (in a data folder)");
        std::string name = utf8Of(found.path().lexically_relative(top));
        std::replace(name.begin(), name.end(), '/', '\\');
        files.emplace_back(under.empty() ? name : under + "\\" + name, found.path());
    }
}

} // namespace

std::vector<std::pair<std::string, fs::path>> filesBelowDataFolder(const fs::path& saverFolder,
                                                                   const fs::path& folder,
                                                                   const std::string& under) {
    checkStaysInside(saverFolder, folder);
    std::error_code error;
    std::vector<fs::path> open = {fs::canonical(folder, error)};
    if (error)
        throw ToolError(folder, "cannot be read: " + error.message());
    std::vector<std::pair<std::string, fs::path>> files;
    walkBelow(saverFolder, folder, folder, under, open, files);
    return files;
}

namespace {

std::vector<DataItemPlan> walkDataFolder(const DescriptionReader& reader, const fs::path& folder,
                                         const std::string& field, const std::string& under,
                                         bool compress) {
    std::error_code error;
    if (!fs::is_directory(folder, error))
        throw ToolError(folder,
                        "no such folder (" + field + " in " + displayPath(reader.file()) + ")");
    std::vector<DataItemPlan> items;
    for (auto& [name, file] : filesBelowDataFolder(reader.base(), folder, under))
        items.push_back({std::move(name), std::move(file), compress, field});
    std::sort(items.begin(), items.end(),
              [](const DataItemPlan& a, const DataItemPlan& b) { return a.name < b.name; });
    return items;
}

void readDataFile(const DescriptionReader& reader, const json& value, PackagePlan& plan) {
    reader.object(value, "dataFile");
    reader.onlyKeys(value, {"name", "kind", "compress", "settings", "saverKind", "files"},
                    "dataFile");

    EntryPlan entry;
    entry.role = "dataFile";
    entry.kind = 7;
    const EntryPlan& engine = *plan.entries[entry::kEngine];
    entry.name = value.contains("name") ? reader.text(value["name"], "dataFile.name")
                                        : replaceExtension(engine.name, ".dat");
    entry.nameField = "dataFile.name";
    checkEntryName(reader, entry.name, entry.nameField);
    if (value.contains("kind"))
        entry.kind = static_cast<std::int32_t>(reader.integer(value["kind"], "dataFile.kind"));
    if (entry.kind != 4 && entry.kind != 7)
        reader.fail("dataFile.kind", "kind " + std::to_string(entry.kind) +
                                         " does not place the data file in the work folder; "
                                         "allowed: 4, 7");
    if (value.contains("compress"))
        entry.compress = reader.flag(value["compress"], "dataFile.compress");
    plan.entries[entry::kDataFile] = entry;

    if (value.contains("settings")) {
        const fs::path settingsFile = reader.path(value["settings"], "dataFile.settings");
        const Bytes bytes = readFileInside(reader.base(), settingsFile);
        if (bytes.size() != kSettingsRecordSize)
            throw ToolError(settingsFile, std::to_string(bytes.size()) +
                                              " bytes; a settings record has exactly 1240");
        std::copy(bytes.begin(), bytes.end(), plan.settings.bytes.begin());
    }
    if (value.contains("saverKind"))
        plan.settings.setSaverKind(
            static_cast<std::int32_t>(reader.integer(value["saverKind"], "dataFile.saverKind")));

    if (!value.contains("files"))
        return;
    if (!value["files"].is_array())
        reader.fail("dataFile.files", "must be a list");
    std::size_t position = 0;
    for (const json& file : value["files"]) {
        const std::string where = "dataFile.files[" + std::to_string(position++) + "]";
        reader.object(file, where);
        reader.onlyKeys(file, {"folder", "under", "file", "name", "copy", "compress"}, where);
        const bool compress =
            !file.contains("compress") || reader.flag(file["compress"], where + ".compress");
        if (file.contains("folder")) {
            if (file.contains("file") || file.contains("name") || file.contains("copy"))
                reader.fail(where, "a folder takes only \"under\" and \"compress\"");
            const std::string under =
                file.contains("under") ? reader.text(file["under"], where + ".under") : "";
            if (!under.empty())
                checkDataFileName(reader, under, where + ".under");
            for (DataItemPlan& item :
                 walkDataFolder(reader, reader.path(file["folder"], where + ".folder"),
                                where + ".folder", under, compress)) {
                checkDataFileName(reader, item.name, item.field, displayPath(*item.source));
                plan.dataItems.push_back(std::move(item));
            }
            continue;
        }
        if (file.contains("under"))
            reader.fail(where + ".under", "goes with \"folder\"");
        const bool copy = file.contains("copy") && reader.flag(file["copy"], where + ".copy");
        DataItemPlan item;
        item.compress = compress;
        item.field = where + (file.contains("name") ? ".name" : ".file");
        if (copy) {
            if (file.contains("file"))
                reader.fail(where + ".file", "a copy is made by the installer and takes no file");
            if (!file.contains("name"))
                reader.fail(where, "a copy needs a \"name\"");
        } else {
            if (!file.contains("file"))
                reader.fail(where, "give a \"file\", a \"folder\", or \"copy\": true");
            item.source = reader.path(file["file"], where + ".file");
        }
        item.name = file.contains("name") ? reader.text(file["name"], where + ".name")
                                          : utf8Of(item.source->filename());
        checkDataFileName(reader, item.name, item.field);
        plan.dataItems.push_back(std::move(item));
    }
    if (plan.dataItems.size() > static_cast<std::size_t>(kMaxDataFiles))
        reader.fail("dataFile.files", std::to_string(plan.dataItems.size()) +
                                          " data files; the installer takes at most 1010");
}

// The preview's name once the installer has given it the extension of the
// install mode.
std::string previewNameAsPlaced(const PackagePlan& plan, const std::string& name) {
    if (plan.installMode == installmode::kBitmap)
        return replaceExtension(name, ".BMP");
    if (plan.installMode == installmode::kJpeg)
        return replaceExtension(name, ".jpg");
    return name;
}

// No two files may land on one path, nor a file where a data file needs a
// folder: the later one would replace or block the earlier one.
void checkDestinations(const DescriptionReader& reader, const PackagePlan& plan) {
    InstallerPaths paths;
    paths.systemDir = kSystemFolder;
    paths.sharedSaverRoot = kSaverRoot;
    paths.workDir = kWorkFolder;
    const std::string saverFolder = kSaverFolder;

    struct Claim {
        std::string field; // empty for what the installer writes itself
        std::string what;
    };
    std::map<std::string, Claim> taken; // lower-case path: what goes there
    const auto claim = [&](const std::string& destination, const Claim& claimant) {
        const auto [existing, fresh] = taken.emplace(lowerAscii(destination), claimant);
        if (!fresh)
            reader.fail(claimant.field, claimant.what + " and " + existing->second.what +
                                            " would both be written to " + destination);
    };
    claim(std::string(kWorkFolder) + "temp.dat", {"", "the installer's copy of itself"});
    claim(std::string(kWorkFolder) + "impborl.dll", {"", "the implode library"});
    claim(saverFolder + "saver.dat", {"", "the saver's settings"});

    for (std::size_t index = 2; index < kPackageEntryCount; ++index) {
        const auto& entry = plan.entries[index];
        if (!entry)
            continue;
        PackageEntry placed;
        placed.name =
            index == entry::kPreview ? previewNameAsPlaced(plan, entry->name) : entry->name;
        placed.kind = entry->kind;
        const std::string what = entry->role + " " + inQuotes(placed.name);
        claim(*entryDestination(paths, saverFolder, placed), {entry->nameField, what});
        // The licence and the document are also copied into the saver folder.
        if (index == entry::kLicence || index == entry::kDocument)
            claim(saverFolder + entry->name,
                  {entry->nameField, what + " (its copy in the saver folder)"});
    }

    std::set<std::string> folders;
    for (const DataItemPlan& item : plan.dataItems) {
        claim(saverFolder + item.name, {item.field, "data file " + inQuotes(item.name)});
        for (std::size_t cut = item.name.find('\\'); cut != std::string::npos;
             cut = item.name.find('\\', cut + 1))
            folders.insert(lowerAscii(saverFolder + item.name.substr(0, cut)));
    }
    for (const auto& [path, claimant] : taken) {
        if (folders.count(path) != 0)
            reader.fail(claimant.field,
                        claimant.what + " is a file where a data file needs a folder");
    }
}

// The first data file can be a copy of "installer.swf" in the work folder
// (always so with saverKind 3): some entry has to put that file there.
void checkMovieCopy(const DescriptionReader& reader, const PackagePlan& plan) {
    if (plan.dataItems.empty())
        return;
    const bool firstIsCopy = !plan.dataItems.front().source.has_value();
    if (plan.settings.saverKind() == kSaverKindCopiesMovie && !firstIsCopy)
        reader.fail("dataFile.saverKind",
                    "with saverKind 3 the installer takes the first data file, " +
                        inQuotes(plan.dataItems.front().name) +
                        ", from installer.swf in the work folder; declare it with \"copy\": true");
    if (!firstIsCopy)
        return;
    const auto placesMovie = [&](std::size_t index) {
        const auto& entry = plan.entries[index];
        return entry && lowerAscii(entry->name) == kMovieSource &&
               (entry->kind == 4 || entry->kind == 7);
    };
    const bool moviePreview =
        (plan.installMode == installmode::kMovie || plan.installMode == installmode::kMovieToo) &&
        placesMovie(entry::kPreview);
    if (!moviePreview && !placesMovie(entry::kDocument) && !placesMovie(7) && !placesMovie(9) &&
        !placesMovie(10))
        reader.fail(plan.dataItems.front().field,
                    "the first data file is a copy of installer.swf from the work folder, but no "
                    "entry puts installer.swf there (a movie preview, or a further file of kind 4 "
                    "or 7)");
}

} // namespace

std::optional<std::uint8_t> installModeFromText(const std::string& text) {
    static const std::map<std::string, std::uint8_t> names = {{"bitmap", installmode::kBitmap},
                                                              {"movie", installmode::kMovie},
                                                              {"quiet", installmode::kQuiet},
                                                              {"jpeg", installmode::kJpeg}};
    if (const auto named = names.find(lowerAscii(text)); named != names.end())
        return named->second;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    for (std::uint8_t mode : {installmode::kBitmap, installmode::kMovie, installmode::kMovieToo,
                              installmode::kQuiet, installmode::kJpeg}) {
        if (number == mode)
            return mode;
    }
    return std::nullopt;
}

std::string entryNameProblem(const std::string& name) {
    if (name.empty())
        return "the entry has no name";
    if (name.size() > kEntryNameField)
        return "the name " + inQuotes(name) + " has " + std::to_string(name.size()) +
               " bytes; an entry name holds at most 255";
    if (name.find_first_of("\\/") != std::string::npos)
        return "the name " + inQuotes(name) +
               " has a folder part; an entry is named by a plain file name";
    if (!printableAscii(name))
        return "the name " + inQuotes(name) + std::string(kNotAscii);
    if (!safeEntryName(name))
        return "the installer refuses the name " + inQuotes(name) +
               " (characters \\/:*?\"<>|, a trailing dot or blank, \".\", \"..\" or a device "
               "name such as CON)";
    return {};
}

std::string dataFileNameProblem(const std::string& name) {
    if (name.empty())
        return "a data file needs a name";
    if (name.size() > kTableNameField)
        return "the name " + inQuotes(name) + " has " + std::to_string(name.size()) +
               " bytes; a data-file name holds at most 256";
    if (name.find('/') != std::string::npos)
        return "the name " + inQuotes(name) + " uses \"/\"; write its folders with backslashes";
    if (!printableAscii(name))
        return "the name " + inQuotes(name) + std::string(kNotAscii);
    if (climbsOut(name))
        return "climbs out of its folder";
    if (!safeDataFileName(name))
        return "the installer refuses the name " + inQuotes(name) +
               " (characters :*?\"<>|, an empty or \".\" part, a part with a trailing dot or "
               "blank, or a device name such as CON)";
    return {};
}

std::string saverTitleProblem(const std::string& title) {
    if (title.empty())
        return "is empty";
    if (title.size() > kSaverTitleField)
        return "has " + std::to_string(title.size()) + " bytes; the header holds at most 64";
    if (!printableAscii(title))
        return std::string(kNotAscii.substr(1));
    // The saver's folder and engine are named after the title.
    if (!safeEntryName(title))
        return inQuotes(title) + " cannot name the saver's folder (characters \\/:*?\"<>|, a "
                                 "trailing dot or blank, or a device name such as CON)";
    return {};
}

PackagePlan readPackageDescription(const fs::path& file) {
    return readPackageDescription(file, readWholeFile(file, 16 * 1024 * 1024));
}

PackagePlan readPackageDescription(const fs::path& file, std::span<const std::uint8_t> bytes) {
    const DescriptionReader reader(file);
    json root;
    try {
        root = json::parse(bytes.begin(), bytes.end(), nullptr, true, true);
    } catch (const json::parse_error& error) {
        throw ToolError(file, std::string("not valid JSON: ") + error.what());
    }
    if (!root.is_object())
        throw ToolError(file, "the description must be a JSON object");
    reader.onlyKeys(root,
                    {"saverTitle", "installMode", "hasLicence", "hasDocument", "offerControlPanel",
                     "implodeLibrary", "flashInstaller", "flashAXInstallerVersion", "preview",
                     "licence", "document", "engine", "furtherFiles", "dataFile"},
                    "");
    for (const char* required :
         {"saverTitle", "installMode", "engine", "furtherFiles", "dataFile"}) {
        if (!root.contains(required))
            reader.fail(required, "is missing");
    }

    PackagePlan plan;
    plan.descriptionFile = file;
    plan.saverTitle = reader.text(root["saverTitle"], "saverTitle");
    if (const std::string problem = saverTitleProblem(plan.saverTitle); !problem.empty())
        reader.fail("saverTitle", problem);

    const json& mode = root["installMode"];
    const std::optional<std::uint8_t> installMode =
        mode.is_string()           ? installModeFromText(mode.get<std::string>())
        : mode.is_number_integer() ? installModeFromText(std::to_string(mode.get<std::int64_t>()))
                                   : std::nullopt;
    if (!installMode)
        reader.fail("installMode",
                    "must be 1, 2, 3, 4 or 8, or \"bitmap\", \"movie\", \"quiet\" or "
                    "\"jpeg\"");
    plan.installMode = *installMode;

    if (root.contains("offerControlPanel"))
        plan.offerControlPanel = reader.flag(root["offerControlPanel"], "offerControlPanel");
    if (root.contains("implodeLibrary"))
        plan.implodeLibrary = reader.path(root["implodeLibrary"], "implodeLibrary");
    if (root.contains("flashAXInstallerVersion")) {
        const std::int64_t version =
            reader.integer(root["flashAXInstallerVersion"], "flashAXInstallerVersion");
        if (version != 0 && version != 1)
            reader.fail("flashAXInstallerVersion", "must be 0 or 1");
        plan.flashAXInstallerVersion = static_cast<std::uint8_t>(version);
    }

    if (root.contains("flashInstaller")) {
        EntryPlan flash = readEntry(reader, root["flashInstaller"], "flashInstaller", 3, {3, 4, 7});
        if (flash.name != kFlashInstallerName && flash.name != kFlashInstaller10Name)
            reader.fail(flash.nameField, "the name must be " + inQuotes(kFlashInstallerName) +
                                             " or " + inQuotes(kFlashInstaller10Name) + ", not " +
                                             inQuotes(flash.name));
        plan.entries[entry::kFlashInstaller] = flash;
    }
    if (root.contains("preview"))
        plan.entries[entry::kPreview] = readEntry(reader, root["preview"], "preview", 7, {4, 7});
    else if (plan.installMode != installmode::kQuiet)
        reader.fail("preview", "is missing; only a quiet installation (installMode 4) has none");

    // The flags follow the files; an explicit flag must agree with them.
    const struct {
        const char* role;
        const char* flagName;
        std::size_t index;
    } optional[] = {{"licence", "hasLicence", entry::kLicence},
                    {"document", "hasDocument", entry::kDocument}};
    for (const auto& file : optional) {
        const bool present = root.contains(file.role);
        if (present)
            plan.entries[file.index] = readEntry(reader, root[file.role], file.role, 7, {4, 7});
        if (root.contains(file.flagName) &&
            reader.flag(root[file.flagName], file.flagName) != present)
            reader.fail(file.flagName, std::string("is ") + (present ? "false" : "true") +
                                           (present ? " but a " : " but no ") + file.role +
                                           " is given");
    }

    plan.entries[entry::kEngine] = readEntry(reader, root["engine"], "engine", 2, {2});
    const json& further = root["furtherFiles"];
    if (!further.is_array() || further.size() != 3)
        reader.fail("furtherFiles", "must list three files, for the entries 7, 9 and 10: the "
                                    "installer stops with -531 on a package without any one of "
                                    "them");
    const std::size_t furtherIndices[] = {7, 9, 10};
    for (std::size_t i = 0; i < 3; ++i)
        plan.entries[furtherIndices[i]] =
            readEntry(reader, further[i], "furtherFiles[" + std::to_string(i) + "]", 1,
                      {1, 2, 3, 4, 5, 6, 7, 10});

    readDataFile(reader, root["dataFile"], plan);
    plan.settings.setFileCount(static_cast<std::int32_t>(plan.dataItems.size()));
    checkDestinations(reader, plan);
    checkMovieCopy(reader, plan);
    return plan;
}

void setImplodeLibrary(PackagePlan& plan, const fs::path& library) {
    EntryPlan entry;
    entry.role = "implodeLibrary";
    entry.source = library;
    entry.name = kImplodeLibraryEntryName;
    entry.kind = 4;
    entry.compress = false; // nothing can expand it before it is in place
    plan.entries[entry::kFirstFile] = entry;
}
