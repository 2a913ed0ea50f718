// Tests of "saverpack init": the description it guesses for the example's
// files packs the same installer as the example's own, and the folders it
// cannot describe are refused with the file or folder named.
#include "file_io.h"
#include "package_listing.h"
#include "saverpack_cli.h"
#include "saverpack_run.h"

#include "implode/implode.h"
#include "payload/package_records.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

ToolRun run(const std::vector<std::string>& args, const ToolEnvironment& environment = {}) {
    return runTool(args, environment);
}

void put(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

Bytes expanded(const Bytes& stored, bool compressed) {
    if (!compressed)
        return stored;
    const implode::Exploded exploded = implode::explodeBuffer(stored);
    EXPECT_EQ(exploded.result, implode::kResultOk);
    return exploded.data;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// An installer as the inspection reads it, with every entry and data file
// expanded.
struct Unpacked {
    PackageReport report;
    std::map<std::size_t, Bytes> entries;
    std::vector<std::pair<std::string, Bytes>> dataFiles; // copies have no bytes
};

Unpacked unpack(const fs::path& file) {
    const Bytes bytes = readWholeFile(file);
    MemorySource source(bytes);
    Unpacked result{inspectPackage(source, InspectionDepth::verify), {}, {}};
    EXPECT_TRUE(result.report.problems.empty()) << result.report.problems.front();
    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        const PackageEntry& entry = result.report.header.entries[index];
        if (entry.present())
            result.entries[index] = expanded(slice(bytes, static_cast<std::size_t>(entry.firstByte),
                                                   static_cast<std::size_t>(entry.storedSize())),
                                             entry.compressed != 0);
    }
    const Bytes& data = result.entries[entry::kDataFile];
    for (const ItemReport& item : result.report.dataFile->items) {
        Bytes contents;
        if (item.header && item.header->size > 0)
            contents = expanded(
                slice(data, static_cast<std::size_t>(item.record.itemOffset) + kItemHeaderSize,
                      static_cast<std::size_t>(item.header->bytesFollowing())),
                item.header->compressed != 0);
        result.dataFiles.emplace_back(item.record.name, contents);
    }
    return result;
}

class PackageInit : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("package-init-test-" + std::to_string(random()));
        fs::create_directories(dir_);
        put(dir_ / "impborl.dll", "MZ a stand-in implode library, packed as it is");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The names left in `folder` by a run: descriptions and temporary files.
    static std::vector<std::string> outputs(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& found : fs::directory_iterator(folder)) {
            const std::string name = found.path().filename().string();
            if (name.find(".tmp") != std::string::npos || name.ends_with(".json"))
                names.push_back(name);
        }
        return names;
    }

    ToolEnvironment environment() const { return {{dir_ / "impborl.dll"}}; }

    fs::path dir_;
};

TEST_F(PackageInit, TheExampleGuessedPacksLikeItsOwnDescription) {
    const fs::path saver = dir_ / "aquarium";
    fs::copy(fs::path(VLX_EXAMPLES_DIR) / "aquarium", saver, fs::copy_options::recursive);
    fs::rename(saver / "package.json", dir_ / "example.json");

    const ToolRun init = run({"init", saver.string()});
    ASSERT_EQ(init.code, 0) << init.err;
    EXPECT_EQ(init.out, "saverTitle: Aquarium\n"
                        "installMode: bitmap\n"
                        "preview: files/preview.bmp\n"
                        "licence: files/licence.rtf\n"
                        "document: files/Aquarium.txt\n"
                        "engine: files/Aquarium.scr\n"
                        "furtherFiles: files/Aquarium.ini, files/bubbles.wav, files/credits.txt\n"
                        "settings: files/settings.bin\n"
                        "data folder: data (into the saver's folder)\n"
                        "ignored: make_files.py\n");
    const auto written = nlohmann::json::parse(readWholeFile(saver / "package.json"));
    EXPECT_TRUE(written.contains("//saverTitle") && written["dataFile"].contains("//files"))
        << "explanations at the top and in nested objects, which build skips";

    fs::rename(dir_ / "example.json", saver / "example.json");
    for (const char* description : {"package.json", "example.json"}) {
        const ToolRun built = run({"build", (saver / description).string(), "-o",
                                   (dir_ / (std::string(description) + ".exe")).string()},
                                  environment());
        ASSERT_EQ(built.code, 0) << built.err;
    }
    const Unpacked guessed = unpack(dir_ / "package.json.exe");
    Unpacked own = unpack(dir_ / "example.json.exe");

    for (std::size_t index = 1; index < kPackageEntryCount; ++index) {
        SCOPED_TRACE("entry " + std::to_string(index));
        const PackageEntry& mine = guessed.report.header.entries[index];
        const PackageEntry& theirs = own.report.header.entries[index];
        EXPECT_EQ(mine.present(), theirs.present());
        EXPECT_EQ(mine.name, theirs.name);
        EXPECT_EQ(mine.kind, theirs.kind);
        // The data file differs by the copy below; its items are compared instead.
        if (index != entry::kDataFile) {
            EXPECT_EQ(guessed.entries.count(index) ? guessed.entries.at(index) : Bytes(),
                      own.entries.count(index) ? own.entries.at(index) : Bytes());
        }
    }
    EXPECT_EQ(guessed.report.header.saverTitle, own.report.header.saverTitle);
    EXPECT_EQ(guessed.report.header.installMode, own.report.header.installMode);
    // The example's last data file is a copy the installer makes of the first,
    // which no file in the folder shows.
    ASSERT_EQ(own.dataFiles.back().first, "fish\\angelfish-school.bmp");
    own.dataFiles.pop_back();
    EXPECT_EQ(guessed.dataFiles, own.dataFiles);
    EXPECT_EQ(guessed.dataFiles.size(), 5u);
}

struct InitRefusal {
    const char* what;
    std::function<void(const fs::path&)> change;
    const char* message; // the end of the one line
};

void PrintTo(const InitRefusal& refusal, std::ostream* out) {
    *out << refusal.what;
}

class PackageInitRefusal : public PackageInit, public ::testing::WithParamInterface<InitRefusal> {};

TEST_P(PackageInitRefusal, NamesTheFileAndWritesNothing) {
    const fs::path saver = dir_ / "saver";
    for (const char* name : {"Saver.scr", "preview.bmp", "a.ini", "b.wav", "c.txt"})
        put(saver / "files" / name, name);
    put(saver / "data" / "x.txt", "x");
    GetParam().change(saver);
    const bool kept = fs::exists(saver / "package.json");
    const ToolRun result = run({"init", saver.string()});
    EXPECT_EQ(result.code, 1);
    const std::string line = "saverpack: " + saver.string() + "/" + GetParam().message + "\n";
    EXPECT_EQ(result.err, line);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(outputs(saver),
              kept ? std::vector<std::string>{"package.json"} : std::vector<std::string>{});
    if (kept) {
        EXPECT_EQ(readWholeFile(saver / "package.json"), Bytes({'{', '}'}));
    }
}

const InitRefusal kInitRefusals[] = {
    {"NoEngine", [](const fs::path& s) { fs::remove(s / "files/Saver.scr"); },
     "files: no engine: no .scr file among a.ini, b.wav, c.txt, preview.bmp"},
    {"TwoEngines", [](const fs::path& s) { put(s / "files/Other.scr", "x"); },
     "files: more than one engine (.scr): Other.scr, Saver.scr"},
    {"TwoPreviews",
     [](const fs::path& s) {
         fs::rename(s / "files/preview.bmp", s / "files/fish.bmp");
         put(s / "files/reef.jpg", "x");
     },
     "files: more than one preview (.bmp, .jpg, .jpeg, .swf): fish.bmp, reef.jpg"},
    {"NameTheInstallerRefuses", [](const fs::path& s) { put(s / "files/b?.wav", "x"); },
     "files/b?.wav: the installer refuses the name \"b?.wav\" (characters \\/:*?\"<>|, a "
     "trailing dot or blank, \".\", \"..\" or a device name such as CON)"},
    {"DataFileNotAscii", [](const fs::path& s) { put(s / "data/Caf\xc3\xa9.txt", "x"); },
     "data/Caf\xc3\xa9.txt: the name \"Caf\xc3\xa9.txt\" has characters other than printable "
     "ASCII, which the installer would read in the Windows ANSI code page"},
    {"TooFewFurtherFiles", [](const fs::path& s) { fs::remove(s / "files/c.txt"); },
     "files: 2 further files; a package needs three besides the engine, preview, licence, "
     "document and settings (found a.ini, b.wav)"},
    {"OutputExists", [](const fs::path& s) { put(s / "package.json", "{}"); },
     "package.json: exists already; init never replaces a description (remove it or give "
     "another -o)"},
};

INSTANTIATE_TEST_SUITE_P(Folders, PackageInitRefusal, ::testing::ValuesIn(kInitRefusals),
                         [](const auto& info) { return std::string(info.param.what); });

// A symbolic link in the saver's folder, and what init and build make of it.
struct SaverLink {
    const char* what;
    std::function<void(const fs::path& saver)> make; // the saver's folder is `dir`/saver
    const char* link;    // the link refused, below `dir`; none: followed and packed
    const char* target;  // where it leads, below `dir`
    const char* problem; // when not the usual one
};

TEST_F(PackageInit, SymbolicLinksAreFollowedOnlyInsideTheSaversFolder) {
    const auto link = [](const fs::path& from, const std::string& to) {
        fs::create_directories(from.parent_path());
        fs::remove(from);
        fs::create_symlink(to, from);
    };
    const SaverLink cases[] = {
        {"to a file outside", [&](const fs::path& s) { link(s / "files/c.txt", "../../id_rsa"); },
         "saver/files/c.txt", "id_rsa", nullptr},
        {"to a folder outside", [&](const fs::path& s) { link(s / "data/keys", "../../keys"); },
         "saver/data/keys", "keys", nullptr},
        {"a chain that ends outside",
         [&](const fs::path& s) {
             link(s / "files/c.txt", "../hop/one");
             link(s / "hop/one", "../../id_rsa");
         },
         "saver/files/c.txt", "id_rsa", nullptr},
        {"into a sibling whose name begins alike",
         [&](const fs::path& s) { link(s / "files/c.txt", "../../saver2/c.txt"); },
         "saver/files/c.txt", "saver2/c.txt", nullptr},
        {"back into a folder that holds it", [&](const fs::path& s) { link(s / "data/loop", "."); },
         "saver/data/loop", nullptr,
         "a symbolic link to a folder that holds it; its files would be packed without end"},
        {"inside, to a file and to a folder",
         [&](const fs::path& s) {
             put(s / "notes/credits.txt", "credits");
             link(s / "files/c.txt", "../notes/credits.txt");
             put(s / "extra/e.txt", "e");
             link(s / "data/more", "../extra");
         },
         nullptr, nullptr, nullptr},
    };
    for (const SaverLink& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fs::canonical(dir_) / std::to_string(&c - cases);
        const fs::path saver = dir / "saver";
        for (const char* name : {"Saver.scr", "preview.bmp", "a.ini", "b.wav", "c.txt"})
            put(saver / "files" / name, name);
        put(saver / "data" / "x.txt", "x");
        put(dir / "id_rsa", "secret");
        put(dir / "keys/id_rsa", "secret");
        put(dir / "saver2/c.txt", "other");
        put(saver / "build.json",
            R"({"saverTitle": "Saver", "installMode": "bitmap", "preview": "files/preview.bmp",
                "engine": "files/Saver.scr", "furtherFiles": ["files/a.ini", "files/b.wav",
                "files/c.txt"], "dataFile": {"files": [{"folder": "data"}]}})");
        c.make(saver);

        const ToolRun init = run({"init", saver.string(), "--quiet"});
        const ToolRun build = run(
            {"build", (saver / "build.json").string(), "-o", (dir / "out.exe").string(), "--quiet"},
            environment());
        if (c.link == nullptr) {
            ASSERT_EQ(init.code, 0) << init.err;
            ASSERT_EQ(build.code, 0) << build.err;
            const Unpacked packed = unpack(dir / "out.exe");
            EXPECT_EQ(packed.entries.at(10), Bytes({'c', 'r', 'e', 'd', 'i', 't', 's'}));
            const std::vector<std::pair<std::string, Bytes>> data = {{"more\\e.txt", {'e'}},
                                                                     {"x.txt", {'x'}}};
            EXPECT_EQ(packed.dataFiles, data);
            continue;
        }
        const std::string line =
            "saverpack: " + (dir / c.link).string() + ": " +
            (c.problem ? std::string(c.problem)
                       : "a symbolic link that leads outside the saver's folder (to " +
                             (dir / c.target).string() + "); not packed") +
            "\n";
        for (const ToolRun& result : {init, build}) {
            EXPECT_EQ(result.code, 1);
            EXPECT_EQ(result.err, line);
            EXPECT_EQ(result.out, "");
        }
        EXPECT_EQ(outputs(saver), std::vector<std::string>{"build.json"});
        EXPECT_EQ(outputs(dir), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(dir / "out.exe"));
    }
}

} // namespace
