#include "package_init.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "file_io.h"
#include "package_description.h"
#include "payload/entry_destinations.h"
#include "system/path_names.h"

namespace fs = std::filesystem;
using Description = nlohmann::ordered_json;

namespace {

constexpr const char* kFilesFolder = "files";
constexpr const char* kRootDataFolder = "data";
constexpr const char* kSettingsName = "settings.bin";
constexpr const char* kDefaultDescriptionName = "package.json";
constexpr std::size_t kFurtherFileCount = 3;
constexpr const char* kOutputExists =
    "exists already; init never replaces a description (remove it or give another -o)";

// The sibling explanations, one per field.
constexpr const char* kAboutTitle =
    "the saver's name: the installer's window title and the name of the saver's folder; at most "
    "64 bytes of printable ASCII";
constexpr const char* kAboutMode =
    "what the installer shows: \"bitmap\" or \"jpeg\" (a picture preview), \"movie\" (a Flash "
    "movie) or \"quiet\" (no window)";
constexpr const char* kAboutControlPanel =
    "true: once installed, the installer offers to open Display Properties";
constexpr const char* kAboutFlash =
    "the Flash player's installer, run when the player is missing or too old";
constexpr const char* kAboutPreview = "the picture or movie shown while installing";
constexpr const char* kAboutLicence =
    "shown before anything is installed; the user has to accept it (sets hasLicence)";
constexpr const char* kAboutDocument =
    "unpacked with the saver and copied into its folder (sets hasDocument)";
constexpr const char* kAboutEngine = "the screen saver program, placed in the system folder";
constexpr const char* kAboutFurther =
    "exactly three files (entries 7, 9 and 10), placed in the saver's folder";
constexpr const char* kAboutDataFile =
    "the saver data file: its settings record and the files placed in the saver's folder";
constexpr const char* kAboutSettings =
    "the 1240-byte settings record; without one it is zero-filled";
constexpr const char* kAboutFiles =
    "{\"folder\": F} places F's files, with their subfolders, in the saver's folder (\"under\": "
    "in a subfolder of it); {\"file\": F} places one file";

std::string lowerName(const fs::path& path) {
    return lowerAscii(utf8Of(path.filename()));
}

std::string lowerExtension(const fs::path& path) {
    return lowerAscii(utf8Of(path.extension()));
}

std::string joined(const std::vector<fs::path>& files, const fs::path& base) {
    std::string list;
    for (const fs::path& file : files)
        list += (list.empty() ? "" : ", ") + displayPath(file.lexically_relative(base));
    return list;
}

// The files directly in `folder` and its subfolders, each sorted by name
// regardless of case. Symbolic links are followed when they stay inside
// `saverFolder`; the first one by name that leads outside is refused.
struct FolderContents {
    std::vector<fs::path> files;
    std::vector<fs::path> folders;
};

FolderContents contentsOf(const fs::path& saverFolder, const fs::path& folder) {
    FolderContents contents;
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error))
        entries.push_back(*it);
    if (error)
        throw ToolError(folder, "cannot be read: " + error.message());
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& found : entries) {
        if (found.is_symlink(error))
            checkStaysInside(saverFolder, found.path());
        if (found.is_directory(error))
            contents.folders.push_back(found.path());
        else if (found.is_regular_file(error))
            contents.files.push_back(found.path());
        else
            throw ToolError(found.path(), "neither a file nor a folder");
    }
    const auto byName = [](const fs::path& a, const fs::path& b) {
        const std::string la = lowerName(a);
        const std::string lb = lowerName(b);
        return la != lb ? la < lb : a.filename() < b.filename();
    };
    std::sort(contents.files.begin(), contents.files.end(), byName);
    std::sort(contents.folders.begin(), contents.folders.end(), byName);
    return contents;
}

// Takes the file that `matches` picks out of `files`. More than one is
// refused, unless exactly one of them has `preferred` in its name.
std::optional<fs::path> takeOne(std::vector<fs::path>& files, const fs::path& folder,
                                const std::string& role, bool (*matches)(const fs::path&),
                                const char* preferred = nullptr) {
    std::vector<fs::path> found;
    std::copy_if(files.begin(), files.end(), std::back_inserter(found), matches);
    if (found.size() > 1 && preferred != nullptr) {
        std::vector<fs::path> named;
        std::copy_if(found.begin(), found.end(), std::back_inserter(named),
                     [&](const fs::path& file) {
                         return lowerName(file).find(preferred) != std::string::npos;
                     });
        if (named.size() == 1)
            found = named;
    }
    if (found.empty())
        return std::nullopt;
    if (found.size() > 1)
        throw ToolError(folder, "more than one " + role + ": " + joined(found, folder));
    files.erase(std::find(files.begin(), files.end(), found.front()));
    return found.front();
}

bool isEngine(const fs::path& file) {
    return lowerExtension(file) == ".scr";
}

std::optional<std::string> previewMode(const fs::path& file) {
    const std::string extension = lowerExtension(file);
    if (extension == ".bmp")
        return "bitmap";
    if (extension == ".jpg" || extension == ".jpeg")
        return "jpeg";
    if (extension == ".swf")
        return "movie";
    return std::nullopt;
}

bool isPreview(const fs::path& file) {
    return previewMode(file).has_value();
}

bool isLicence(const fs::path& file) {
    const std::string name = lowerName(file);
    return name == "licence.rtf" || name == "licence.txt" || name == "license.rtf" ||
           name == "license.txt";
}

bool isReadme(const fs::path& file) {
    return lowerName(file).starts_with("readme");
}

bool isFlashInstaller(const fs::path& file) {
    const std::string name = utf8Of(file.filename());
    return name == kFlashInstallerName || name == kFlashInstaller10Name;
}

bool isSettings(const fs::path& file) {
    return lowerName(file) == kSettingsName;
}

// Refuses a file whose name the installer would not take as an entry's.
void checkEntryFile(const fs::path& file) {
    if (const std::string problem = entryNameProblem(utf8Of(file.filename())); !problem.empty())
        throw ToolError(file, problem);
}

// Refuses a file below a data folder whose name in the saver folder the
// installer would not take.
void checkDataFolder(const fs::path& saverFolder, const fs::path& folder,
                     const std::string& under) {
    for (const auto& [name, file] : filesBelowDataFolder(saverFolder, folder, under)) {
        if (const std::string problem = dataFileNameProblem(name); !problem.empty())
            throw ToolError(file, problem);
    }
}

// Builds the description while noting each guess.
class Draft {
  public:
    explicit Draft(const fs::path& outputFolder) : base_(outputFolder) {}

    // The path as the description writes it: relative to its own folder.
    std::string named(const fs::path& file) const {
        const fs::path relative = file.lexically_relative(base_);
        const fs::path& shown = relative.empty() ? file : relative;
        const std::u8string text = shown.generic_u8string();
        return std::string(text.begin(), text.end());
    }

    void field(Description& object, const char* key, Description value, const char* about) {
        object[std::string(kExplanationPrefix) + key] = about;
        object[key] = std::move(value);
    }

    void guess(const std::string& what, const std::string& value) {
        guesses_.push_back(what + ": " + value);
    }

    std::vector<std::string>& guesses() { return guesses_; }

  private:
    fs::path base_;
    std::vector<std::string> guesses_;
};

} // namespace

std::vector<std::string> writeStartingDescription(const fs::path& folderGiven,
                                                  const fs::path& outputGiven) {
    std::error_code error;
    fs::path folder = fs::absolute(folderGiven, error).lexically_normal();
    if (folder.filename().empty()) // "saver/" and "." end in a separator
        folder = folder.parent_path();
    if (error || !fs::is_directory(folder, error))
        throw ToolError(folderGiven, "no such folder");
    const fs::path output = outputGiven.empty() ? folder / kDefaultDescriptionName
                                                : fs::absolute(outputGiven).lexically_normal();
    if (fs::exists(fs::symlink_status(output, error)))
        throw ToolError(output, kOutputExists);

    // The package's own files are in files/ when there is one; the other
    // folders hold the saver's data files.
    const FolderContents top = contentsOf(folder, folder);
    const auto filesFolder =
        std::find_if(top.folders.begin(), top.folders.end(),
                     [](const fs::path& found) { return lowerName(found) == kFilesFolder; });
    const fs::path entriesFolder = filesFolder != top.folders.end() ? *filesFolder : folder;
    std::vector<fs::path> files =
        entriesFolder == folder ? top.files : contentsOf(folder, entriesFolder).files;
    std::vector<fs::path> ignored = entriesFolder == folder ? std::vector<fs::path>{} : top.files;
    const auto description = std::find_if(files.begin(), files.end(), [](const fs::path& file) {
        return lowerName(file) == kDefaultDescriptionName;
    });
    if (description != files.end()) {
        ignored.push_back(*description);
        files.erase(description);
    }

    Draft draft(output.parent_path());
    Description root = Description::object();

    const std::optional<fs::path> engine = takeOne(files, entriesFolder, "engine (.scr)", isEngine);
    if (!engine)
        throw ToolError(entriesFolder, "no engine: no .scr file among " +
                                           (files.empty() ? std::string("no files")
                                                          : joined(files, entriesFolder)));
    checkEntryFile(*engine);
    const std::string title = utf8Of(engine->stem());
    if (const std::string problem = saverTitleProblem(title); !problem.empty())
        throw ToolError(*engine, "as the saver's title, its name " + problem);
    draft.field(root, "saverTitle", title, kAboutTitle);
    draft.guess("saverTitle", title);

    const std::optional<fs::path> preview =
        takeOne(files, entriesFolder, "preview (.bmp, .jpg, .jpeg, .swf)", isPreview, "preview");
    const std::string mode = preview ? *previewMode(*preview) : "quiet";
    draft.field(root, "installMode", mode, kAboutMode);
    draft.guess("installMode", mode);
    draft.field(root, "offerControlPanel", true, kAboutControlPanel);

    struct Pick {
        const char* field;
        std::optional<fs::path> file;
        const char* about;
    };
    // The document: the text named after the engine, else the one readme.
    std::optional<fs::path> document;
    const std::string engineText = lowerAscii(title) + ".txt";
    if (const auto named =
            std::find_if(files.begin(), files.end(),
                         [&](const fs::path& file) { return lowerName(file) == engineText; });
        named != files.end()) {
        document = *named;
        files.erase(named);
    } else {
        document = takeOne(files, entriesFolder, "document (readme*)", isReadme);
    }
    const Pick picks[] = {
        {"flashInstaller", takeOne(files, entriesFolder, "Flash installer", isFlashInstaller),
         kAboutFlash},
        {"preview", preview, kAboutPreview},
        {"licence", takeOne(files, entriesFolder, "licence", isLicence), kAboutLicence},
        {"document", document, kAboutDocument},
        {"engine", engine, kAboutEngine}};
    for (const Pick& pick : picks) {
        if (!pick.file)
            continue;
        checkEntryFile(*pick.file);
        draft.field(root, pick.field, draft.named(*pick.file), pick.about);
        draft.guess(pick.field, draft.named(*pick.file));
    }

    const std::optional<fs::path> settings =
        takeOne(files, entriesFolder, kSettingsName, isSettings);
    if (files.size() < kFurtherFileCount)
        throw ToolError(entriesFolder,
                        std::to_string(files.size()) +
                            " further files; a package needs three besides the "
                            "engine, preview, licence, document and settings" +
                            (files.empty() ? "" : " (found " + joined(files, entriesFolder) + ")"));
    Description further = Description::array();
    std::string furtherList;
    for (std::size_t i = 0; i < kFurtherFileCount; ++i) {
        checkEntryFile(files[i]);
        further.push_back(draft.named(files[i]));
        furtherList += (i == 0 ? "" : ", ") + draft.named(files[i]);
    }
    draft.field(root, "furtherFiles", further, kAboutFurther);
    draft.guess("furtherFiles", furtherList);

    Description dataFile = Description::object();
    if (settings) {
        draft.field(dataFile, "settings", draft.named(*settings), kAboutSettings);
        draft.guess("settings", draft.named(*settings));
    }
    Description items = Description::array();
    for (std::size_t i = kFurtherFileCount; i < files.size(); ++i) {
        if (const std::string problem = dataFileNameProblem(utf8Of(files[i].filename()));
            !problem.empty())
            throw ToolError(files[i], problem);
        items.push_back({{"file", draft.named(files[i])}});
        draft.guess("data file", draft.named(files[i]));
    }
    for (const fs::path& sub : top.folders) {
        if (sub == entriesFolder)
            continue;
        const std::string under =
            lowerName(sub) == kRootDataFolder ? std::string() : utf8Of(sub.filename());
        checkDataFolder(folder, sub, under);
        Description item = {{"folder", draft.named(sub)}};
        if (!under.empty())
            item["under"] = under;
        items.push_back(item);
        draft.guess("data folder",
                    draft.named(sub) + (under.empty() ? " (into the saver's folder)"
                                                      : " (into its subfolder " + under + ")"));
    }
    if (!items.empty())
        draft.field(dataFile, "files", items, kAboutFiles);
    draft.field(root, "dataFile", dataFile, kAboutDataFile);
    for (const fs::path& file : ignored)
        draft.guess("ignored", draft.named(file));

    // What build would refuse is refused here, before anything is written.
    const std::string text = root.dump(2) + "\n";
    const Bytes bytes(text.begin(), text.end());
    readPackageDescription(output, bytes);
    if (fs::exists(fs::symlink_status(output, error)))
        throw ToolError(output, kOutputExists);
    AtomicOutputFile file(output);
    file.write(bytes);
    file.commit();
    return std::move(draft.guesses());
}
