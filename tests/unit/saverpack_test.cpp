// Tests of the packaging tool through its command line: descriptions it must
// refuse, installers it builds and reads back with the package records'
// readers, hostile installers it must survive, and output that is never left
// half-written.
#include "child_process.h"
#include "file_io.h"
#include "package_assembly.h"
#include "package_builder.h"
#include "package_listing.h"
#include "progress.h"
#include "saverpack_cli.h"
#include "saverpack_run.h"

#include "implode/implode.h"
#include "payload/package_records.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes textBytes(std::size_t count, const std::string& words) {
    Bytes bytes;
    while (bytes.size() < count)
        bytes.insert(bytes.end(), words.begin(), words.end());
    bytes.resize(count);
    return bytes;
}

Bytes expand(std::span<const std::uint8_t> stream) {
    const implode::Exploded exploded = implode::explodeBuffer(stream);
    EXPECT_EQ(exploded.result, implode::kResultOk);
    return exploded.data;
}

// The stored bytes of an entry, expanded when compressed.
Bytes entryContents(const Bytes& installer, const PackageEntry& entry) {
    const auto first = installer.begin() + entry.firstByte;
    const Bytes stored(first, first + entry.storedSize());
    return entry.compressed ? expand(stored) : stored;
}

class Saverpack : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("saverpack-test-" + std::to_string(random()));
        fs::create_directories(dir_);
        library_ = bytesOf("MZ");
        const Bytes body = textBytes(3000, "impborl library code ");
        library_.insert(library_.end(), body.begin(), body.end());
        put("impborl.dll", library_);
        put("files/preview.bmp", textBytes(2000, "BM pixels pixels "));
        put("files/licence.rtf", bytesOf("{\\rtf1 You may use this saver. Really.}"));
        put("files/readme.txt", textBytes(900, "Read me, please. "));
        engine_ = bytesOf("MZ");
        const Bytes code = randomBytes(1500, 1);
        engine_.insert(engine_.end(), code.begin(), code.end());
        put("files/Aquarium.scr", engine_);
        put("files/Aquarium.ini", bytesOf("[Aquarium]\r\nFish=12\r\n"));
        put("files/bubbles.wav", randomBytes(700, 2));
        put("files/credits.txt", textBytes(300, "Thanks to all fish. "));
        put("data/plants.txt", textBytes(5000, "kelp, seagrass, "));
        put("data/fish/clown.bmp", textBytes(4000, "orange white orange "));
        put("data/fish/tang.bmp", randomBytes(800, 3));
        settings_ = randomBytes(kSettingsRecordSize, 4);
        put("files/settings.bin", settings_);
        description_ = {
            {"saverTitle", "Aquarium"},
            {"installMode", "bitmap"},
            {"offerControlPanel", true},
            {"implodeLibrary", "impborl.dll"},
            {"preview", "files/preview.bmp"},
            {"licence", "files/licence.rtf"},
            {"document", "files/readme.txt"},
            {"engine", "files/Aquarium.scr"},
            {"furtherFiles",
             {"files/Aquarium.ini",
              {{"file", "files/bubbles.wav"}, {"kind", 7}},
              "files/credits.txt"}},
            {"dataFile",
             {{"settings", "files/settings.bin"},
              {"saverKind", 2},
              {"files", {{{"folder", "data"}}, {{"name", "fish\\copy.bmp"}, {"copy", true}}}}}}};
    }
    void TearDown() override { fs::remove_all(dir_); }

  public:
    void put(const std::string& relative, const Bytes& bytes) const {
        fs::create_directories(path(relative).parent_path());
        std::ofstream out(path(relative), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    fs::path path(const std::string& relative) const { return dir_ / relative; }

  protected:
    Bytes get(const std::string& relative) const { return readWholeFile(path(relative)); }

    ToolRun run(const std::vector<std::string>& args,
                const ToolEnvironment& environment = {}) const {
        return runTool(args, environment);
    }

    ToolRun build(const json& description, const std::vector<std::string>& extra = {}) const {
        const Bytes text = bytesOf(description.dump(2));
        put("package.json", text);
        std::vector<std::string> args = {"build", path("package.json").string(), "-o",
                                         path("out.exe").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }

    // The names in the output folder other than the description's inputs.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& found : fs::directory_iterator(dir_)) {
            const std::string name = found.path().filename().string();
            if (name.find(".tmp") != std::string::npos || name == "out.exe")
                names.push_back(name);
        }
        return names;
    }

    fs::path dir_;
    Bytes library_;
    Bytes engine_;
    Bytes settings_;
    json description_;
};

// ---- descriptions the tool refuses ------------------------------------------------------

struct Refusal {
    const char* what;
    std::function<void(Saverpack&, json&)> change;
    const char* message; // a part of the error
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.what;
}

class SaverpackRefusal : public Saverpack, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SaverpackRefusal, NamesTheFileAndTheProblemAndWritesNothing) {
    json description = description_;
    GetParam().change(*this, description);
    const ToolRun result = build(description);
    EXPECT_EQ(result.code, 1) << result.out;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("saverpack: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << "one line, no notes";
    EXPECT_TRUE(leftovers().empty());
}

const Refusal kRefusals[] = {
    {"TitleOver64Bytes", [](Saverpack&, json& d) { d["saverTitle"] = std::string(65, 'A'); },
     "package.json: saverTitle: has 65 bytes; the header holds at most 64"},
    {"TitleNamingNoFolder", [](Saverpack&, json& d) { d["saverTitle"] = "Fish/Tank"; },
     "package.json: saverTitle: \"Fish/Tank\" cannot name the saver's folder"},
    {"MissingFile", [](Saverpack&, json& d) { d["engine"] = "files/Missing.scr"; },
     "files/Missing.scr: no such file (engine in "},
    {"MissingDataFolder",
     [](Saverpack&, json& d) { d["dataFile"]["files"][0]["folder"] = "nowhere"; },
     "nowhere: no such folder (dataFile.files[0].folder in "},
    {"EmptyEntryFile", [](Saverpack& t, json&) { t.put("files/credits.txt", {}); },
     "credits.txt: is empty; the installer refuses an entry without stored bytes"},
    {"TwoFurtherFiles", [](Saverpack&, json& d) { d["furtherFiles"].erase(2); },
     "package.json: furtherFiles: must list three files, for the entries 7, 9 and 10"},
    {"NoPreviewWhenNotQuiet", [](Saverpack&, json& d) { d.erase("preview"); },
     "package.json: preview: is missing"},
    {"EntryNameWithFolder",
     [](Saverpack&, json& d) {
         d["document"] = {{"file", "files/readme.txt"}, {"name", "docs\\readme.txt"}};
     },
     "package.json: document.name: the name \"docs\\readme.txt\" has a folder part"},
    {"EntryNameOverItsField",
     [](Saverpack&, json& d) {
         d["document"] = {{"file", "files/readme.txt"}, {"name", std::string(256, 'r')}};
     },
     "has 256 bytes; an entry name holds at most 255"},
    {"DeviceName",
     [](Saverpack&, json& d) {
         d["furtherFiles"][0] = {{"file", "files/Aquarium.ini"}, {"name", "CON.ini"}};
     },
     "package.json: furtherFiles[0].name: the installer refuses the name \"CON.ini\""},
    {"NonAsciiName",
     [](Saverpack&, json& d) {
         d["furtherFiles"][0] = {{"file", "files/Aquarium.ini"}, {"name", "Caf\xc3\xa9.ini"}};
     },
     "package.json: furtherFiles[0].name: the name \"Caf\xc3\xa9.ini\" has characters other than "
     "printable ASCII"},
    {"DataNameOverItsField",
     [](Saverpack&, json& d) {
         d["dataFile"]["files"][1]["name"] = "fish\\" + std::string(252, 'c');
     },
     "has 257 bytes; a data-file name holds at most 256"},
    {"DataNameWithSlash",
     [](Saverpack&, json& d) { d["dataFile"]["files"][1]["name"] = "fish/copy.bmp"; },
     "package.json: dataFile.files[1].name: the name \"fish/copy.bmp\" uses \"/\"; write its "
     "folders with backslashes"},
    {"DataNameLeavingTheSaverFolder",
     [](Saverpack&, json& d) { d["dataFile"]["files"][1]["name"] = "..\\evil.dll"; },
     "package.json: dataFile.files[1].name: climbs out of its folder\n"},
    {"EngineOfWrongKind",
     [](Saverpack&, json& d) {
         d["engine"] = {{"file", "files/Aquarium.scr"}, {"kind", 1}};
     },
     "package.json: engine.kind: kind 1 does not place this file where the installer needs it; "
     "allowed: 2"},
    {"FlashInstallerOfAnotherName",
     [](Saverpack&, json& d) { d["flashInstaller"] = "files/bubbles.wav"; },
     "package.json: flashInstaller: the name must be"},
    {"TwoFilesOnePlace",
     [](Saverpack&, json& d) {
         d["furtherFiles"][2] = {{"file", "files/credits.txt"}, {"name", "README.TXT"}};
     },
     "package.json: furtherFiles[2].name: furtherFiles[2] \"README.TXT\" and document "
     "\"readme.txt\" (its copy in the saver folder) would both be written to <saver "
     "folder>\\README.TXT"},
    {"FileWhereAFolderIsNeeded",
     [](Saverpack&, json& d) {
         d["furtherFiles"][2] = {{"file", "files/credits.txt"}, {"name", "fish"}};
     },
     "package.json: furtherFiles[2].name: furtherFiles[2] \"fish\" is a file where a data file "
     "needs a folder"},
    {"FlagWithoutFile",
     [](Saverpack&, json& d) {
         d.erase("licence");
         d["hasLicence"] = true;
     },
     "package.json: hasLicence: is true but no licence is given"},
    {"SettingsOfWrongSize", [](Saverpack& t, json&) { t.put("files/settings.bin", Bytes(1239)); },
     "settings.bin: 1239 bytes; a settings record has exactly 1240"},
    {"MovieKindWithoutCopy", [](Saverpack&, json& d) { d["dataFile"]["saverKind"] = 3; },
     "package.json: dataFile.saverKind: with saverKind 3 the installer takes the first data file"},
    {"CopyOfAMovieNobodyPlaces",
     [](Saverpack&, json& d) {
         d["dataFile"]["saverKind"] = 3;
         d["dataFile"]["files"] = {{{"name", "movie.swf"}, {"copy", true}}};
     },
     "package.json: dataFile.files[0].name: the first data file is a copy of installer.swf"},
    {"UnknownField", [](Saverpack&, json& d) { d["titel"] = "x"; },
     "package.json: titel: unknown field\n"},
    {"UnknownFieldInANestedObject",
     [](Saverpack&, json& d) { d["dataFile"]["files"][0]["nmae"] = "x"; },
     "package.json: dataFile.files[0].nmae: unknown field\n"},
    {"UnknownInstallMode", [](Saverpack&, json& d) { d["installMode"] = 5; },
     "package.json: installMode: must be 1, 2, 3, 4 or 8"},
    {"DataFileOver2GB",
     [](Saverpack& t, json&) {
         t.put("data/reef.avi", {});
         fs::resize_file(t.path("data/reef.avi"), 3ull << 30); // sparse: nothing is written
     },
     "reef.avi: 3221225472 bytes, more than the 2147483647 a file here may have (data file "
     "\"reef.avi\" in "},
    {"LibraryThatIsNoDll",
     [](Saverpack& t, json&) {
         t.put("impborl.dll", bytesOf("\x7f"
                                      "ELF shared object"));
     },
     "impborl.dll: is not a Windows DLL"},
};

INSTANTIATE_TEST_SUITE_P(Descriptions, SaverpackRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Saverpack, RefusesMoreThan1010DataFiles) {
    for (int i = 0; i < 1010; ++i)
        put("many/f" + std::to_string(i) + ".txt", bytesOf("x"));
    json description = description_;
    description["dataFile"]["files"] = {{{"folder", "many"}}};
    EXPECT_EQ(build(description).code, 0) << "1010 is the most the installer takes";
    fs::remove(path("out.exe"));
    description["dataFile"]["files"].push_back({{"folder", "data"}, {"under", "more"}});
    const ToolRun result = build(description);
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("1013 data files; the installer takes at most 1010"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Saverpack, RefusesInvalidJsonAndAStubOverTheImage) {
    put("package.json", bytesOf("{\"saverTitle\": "));
    ToolRun result = run({"build", path("package.json").string(), "-o", path("out.exe").string()});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("package.json: not valid JSON"), std::string::npos) << result.err;

    put("stub.exe", Bytes(INSTALLER_SIZE_IN_BYTES + 1, 0x90));
    result = build(description_, {"--stub", path("stub.exe").string()});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("stub.exe: 698369 bytes, more than the program image's 698368"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Saverpack, RefusesWindowsImagesThatAreNotI386) {
    // "MZ", the new header's offset at 0x3C, "PE\0\0" and the machine field.
    const auto image = [](std::uint16_t machine) {
        Bytes bytes(0x100, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3C] = 0x80;
        bytes[0x80] = 'P';
        bytes[0x81] = 'E';
        bytes[0x84] = static_cast<std::uint8_t>(machine);
        bytes[0x85] = static_cast<std::uint8_t>(machine >> 8);
        return bytes;
    };
    put("stub.exe", image(0x8664));
    ToolRun result = build(description_, {"--stub", path("stub.exe").string()});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("stub.exe: is a Windows image for machine 0x8664, not i386"),
              std::string::npos)
        << result.err;

    put("stub.exe", image(0x014C));
    put("impborl.dll", image(0x8664));
    result = build(description_, {"--stub", path("stub.exe").string()});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("impborl.dll: is a Windows image for machine 0x8664"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(leftovers().empty());

    put("impborl.dll", image(0x014C));
    EXPECT_EQ(build(description_, {"--stub", path("stub.exe").string()}).code, 0);
}

TEST_F(Saverpack, FindsTheLibraryOrSaysWhereItLooked) {
    json description = description_;
    description.erase("implodeLibrary");
    put("package.json", bytesOf(description.dump()));
    const std::vector<std::string> args = {"build", path("package.json").string(), "-o",
                                           path("out.exe").string()};
    ToolRun result = run(args, {{path("nowhere/impborl.dll")}});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("no implode library: give \"implodeLibrary\" or --library (not "
                              "found: " +
                              path("nowhere/impborl.dll").string() + ")"),
              std::string::npos)
        << result.err;

    result = run(args, {{path("nowhere/impborl.dll"), path("impborl.dll")}});
    ASSERT_EQ(result.code, 0) << result.err;
    const Bytes installer = get("out.exe");
    const InstallerHeader header = readInstallerHeaderRecord(
        std::span(installer).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>());
    EXPECT_EQ(entryContents(installer, header.entries[1]), library_);
}

TEST_F(Saverpack, TakesTheInstallerBuiltBesideItUnlessAStubIsGiven) {
    put("built/installer.exe", bytesOf("MZ built image"));
    put("stub.exe", bytesOf("MZ given stub"));
    put("package.json", bytesOf(description_.dump()));
    const std::vector<std::string> args = {"build", path("package.json").string(), "-o",
                                           path("out.exe").string()};
    ToolEnvironment environment;
    environment.stubCandidates = {path("nowhere/installer.exe"), path("built/installer.exe")};
    const auto imageStart = [&](std::size_t count) {
        const Bytes installer = get("out.exe");
        return Bytes(installer.begin(), installer.begin() + static_cast<std::ptrdiff_t>(count));
    };

    ToolRun result = run(args, environment);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(imageStart(14), bytesOf("MZ built image"));
    EXPECT_NE(result.err.find("the program image is " + path("built/installer.exe").string()),
              std::string::npos)
        << result.err;

    std::vector<std::string> withStub = args;
    withStub.insert(withStub.end(), {"--stub", path("stub.exe").string()});
    result = run(withStub, environment);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(imageStart(13), bytesOf("MZ given stub"));
    EXPECT_EQ(result.err, "");

    environment.stubCandidates = {path("nowhere/installer.exe")};
    result = run(args, environment);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(imageStart(2), Bytes(2, 0));
    EXPECT_NE(result.err.find("the program image is zero-filled"), std::string::npos);
}

// An installed saverpack whose data folder is gone: the library is missing
// (a failure) and the program image too (a zero-filled image); each message
// is one line naming every place looked in.
TEST_F(Saverpack, SaysWhereItLookedForTheLibraryAndTheProgramImage) {
    json description = description_;
    description.erase("implodeLibrary");
    put("package.json", bytesOf(description.dump()));
    const std::vector<std::string> args = {"build", path("package.json").string(), "-o",
                                           path("out.exe").string()};
    ToolEnvironment environment;
    environment.libraryCandidates = {path("share/impborl.dll"), path("bin/impborl.dll")};
    environment.stubCandidates = {path("share/installer.exe")};

    ToolRun result = run(args, environment);
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.err, "saverpack: " + path("package.json").string() +
                              ": no implode library: give \"implodeLibrary\" or --library "
                              "(not found: " +
                              path("share/impborl.dll").string() + ", " +
                              path("bin/impborl.dll").string() + ")\n");
    EXPECT_FALSE(fs::exists(path("out.exe")));

    put("bin/impborl.dll", library_);
    result = run(args, environment);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.err,
              "saverpack: note: no --stub (not found: " + path("share/installer.exe").string() +
                  "): the program image is zero-filled, so " + path("out.exe").string() +
                  " carries the whole package but does not run\n");

    environment.version = "1.1.0+dirty";
    result = run({"--version"}, environment);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, "saverpack 1.1.0+dirty\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(Saverpack, CommandLineMistakesAreUsageErrors) {
    EXPECT_EQ(run({}).code, 2);
    EXPECT_EQ(run({"pack"}).code, 2);
    ToolRun result = run({"build", path("package.json").string()});
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err.find("needs -o OUT.exe"), std::string::npos) << result.err;
    result = run({"implode", "--window", "8192", "a", "b"});
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err.find("--window must be 1024, 2048 or 4096"), std::string::npos);
    EXPECT_EQ(run({"list", "--fast", "a"}).code, 2);
    for (const char* workers : {"0", "257", "2x", ""}) {
        result = run({"build", "d.json", "-o", "o.exe", "-j", workers});
        EXPECT_EQ(result.code, 2) << workers;
        EXPECT_NE(result.err.find("-j takes a number of files from 1 to 256"), std::string::npos)
            << result.err;
    }
    for (const char* command : {"build", "list", "verify", "implode", "explode"}) {
        result = run({command, "--help"});
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.out.rfind(std::string("usage: saverpack ") + command, 0), 0u);
    }
}

// ---- build, then read back ------------------------------------------------------------

TEST_F(Saverpack, BuildsWhatTheRecordsReadBack) {
    put("stub.exe", bytesOf("MZ stub image"));
    const ToolRun result = build(description_, {"--stub", path("stub.exe").string()});
    ASSERT_EQ(result.code, 0) << result.err;
    const Bytes installer = get("out.exe");

    // The stub, padded with zeros to the program image's size.
    ASSERT_GT(installer.size(), INSTALLER_SIZE_IN_BYTES + kInstallerHeaderSize);
    EXPECT_EQ(Bytes(installer.begin(), installer.begin() + 13), bytesOf("MZ stub image"));
    EXPECT_TRUE(std::all_of(installer.begin() + 13, installer.begin() + INSTALLER_SIZE_IN_BYTES,
                            [](std::uint8_t b) { return b == 0; }));

    const InstallerHeader header = readInstallerHeaderRecord(
        std::span(installer).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>());
    EXPECT_EQ(header.installMode, installmode::kBitmap);
    EXPECT_EQ(header.hasLicence, 1);
    EXPECT_EQ(header.hasDocument, 1);
    EXPECT_EQ(header.carriesFlashInstaller, 0);
    EXPECT_EQ(header.offerControlPanel, 1);
    EXPECT_EQ(header.saverTitle, "Aquarium");

    struct Expected {
        std::size_t index;
        const char* name;
        std::int32_t kind;
        const char* source;
    };
    const Expected expected[] = {
        {1, "impborl.dat", 4, "impborl.dll"},         {3, "preview.bmp", 7, "files/preview.bmp"},
        {4, "licence.rtf", 7, "files/licence.rtf"},   {5, "readme.txt", 7, "files/readme.txt"},
        {6, "Aquarium.scr", 2, "files/Aquarium.scr"}, {7, "Aquarium.ini", 1, "files/Aquarium.ini"},
        {9, "bubbles.wav", 7, "files/bubbles.wav"},   {10, "credits.txt", 1, "files/credits.txt"}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const PackageEntry& entry = header.entries[e.index];
        EXPECT_EQ(entry.name, e.name);
        EXPECT_EQ(entry.kind, e.kind);
        EXPECT_GE(entry.firstByte, INSTALLER_SIZE_IN_BYTES + kInstallerHeaderSize);
        EXPECT_LT(static_cast<std::size_t>(entry.lastByte), installer.size());
        const Bytes source = get(e.source);
        EXPECT_EQ(entry.expandedSize, static_cast<std::int32_t>(source.size()));
        EXPECT_EQ(entryContents(installer, entry), source);
    }
    EXPECT_FALSE(header.entries[0].present());
    EXPECT_FALSE(header.entries[2].present());
    EXPECT_EQ(header.entries[1].compressed, 0) << "the library is stored";
    EXPECT_EQ(header.entries[3].compressed, 1) << "repetitive text shrinks";
    EXPECT_EQ(header.entries[6].compressed, 0) << "random bytes do not shrink";
    EXPECT_EQ(header.entries[9].compressed, 0);

    // The data file: settings record, table in the walk's order, items.
    const PackageEntry& dataEntry = header.entries[8];
    EXPECT_EQ(dataEntry.name, "Aquarium.dat") << "named after the engine by default";
    EXPECT_EQ(dataEntry.kind, 7);
    const Bytes data = entryContents(installer, dataEntry);
    ASSERT_GE(data.size(), kSettingsRecordSize + 5 * kFileTableRecordSize);
    SettingsRecord settings;
    std::copy_n(data.begin(), kSettingsRecordSize, settings.bytes.begin());
    EXPECT_EQ(settings.fileCount(), 4);
    EXPECT_EQ(settings.saverKind(), 2);
    Bytes expectedSettings = settings_;
    writeInt32(&expectedSettings[212], 4);
    writeInt32(&expectedSettings[1208], 2);
    EXPECT_TRUE(std::equal(settings.bytes.begin(), settings.bytes.end(), expectedSettings.begin()))
        << "all other settings bytes are the settings file's";

    const char* names[] = {"fish\\clown.bmp", "fish\\tang.bmp", "plants.txt", "fish\\copy.bmp"};
    const char* sources[] = {"data/fish/clown.bmp", "data/fish/tang.bmp", "data/plants.txt",
                             nullptr};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        const FileTableRecord record =
            readFileTableRecord(std::span(data)
                                    .subspan(kSettingsRecordSize + i * kFileTableRecordSize)
                                    .first<kFileTableRecordSize>());
        EXPECT_EQ(record.name, names[i]);
        if (sources[i] == nullptr) {
            EXPECT_EQ(record.kind, kTableKindCopy);
            continue;
        }
        EXPECT_NE(record.kind, kTableKindCopy);
        ASSERT_GE(record.itemOffset,
                  static_cast<std::int32_t>(kSettingsRecordSize + 4 * kFileTableRecordSize));
        const ItemHeader item =
            readItemHeader(std::span(data)
                               .subspan(static_cast<std::size_t>(record.itemOffset))
                               .first<kItemHeaderSize>());
        const Bytes source = get(sources[i]);
        EXPECT_EQ(item.size, static_cast<std::int32_t>(source.size()));
        const auto from = data.begin() + record.itemOffset + kItemHeaderSize;
        const Bytes stored(from, from + item.bytesFollowing());
        EXPECT_EQ(item.compressed ? expand(stored) : stored, source);
        EXPECT_EQ(item.compressed != 0, i != 1) << "only the random picture stays stored";
    }
}

TEST_F(Saverpack, ListAndVerifyReadTheBuiltInstaller) {
    ASSERT_EQ(build(description_).code, 0);
    ToolRun listed = run({"list", path("out.exe").string()});
    EXPECT_EQ(listed.code, 0) << listed.err;
    for (const char* shown : {"saverTitle               \"Aquarium\"", "installMode              1",
                              "  impborl.dat", "  Aquarium.scr", "fileCount 4, saverKind 2",
                              "  fish\\tang.bmp", "fish\\copy.bmp  (copy of item 1)"})
        EXPECT_NE(listed.out.find(shown), std::string::npos) << shown << "\n" << listed.out;
    EXPECT_EQ(listed.out.find("problem"), std::string::npos) << listed.out;

    const ToolRun verified = run({"verify", path("out.exe").string()});
    EXPECT_EQ(verified.code, 0) << verified.out;
    EXPECT_NE(verified.out.find("verified, every entry and all 4 data files hold"),
              std::string::npos)
        << verified.out;
    EXPECT_NE(verified.out.find("ok       data file item 3 \"plants.txt\": "), std::string::npos);
}

TEST_F(Saverpack, QuietJpegMovieCopyAndFullWidthNames) {
    json description = description_;
    description["saverTitle"] = std::string(64, 't');
    description["installMode"] = "quiet";
    description.erase("preview");
    description.erase("licence");
    description["furtherFiles"][1] = {
        {"file", "files/bubbles.wav"}, {"name", "installer.swf"}, {"kind", 4}};
    description["dataFile"]["saverKind"] = 3;
    const std::string longName = std::string(200, 'd') + "\\" + std::string(55, 'n');
    description["dataFile"]["files"] = {{{"name", "movie.swf"}, {"copy", true}},
                                        {{"file", "files/credits.txt"}, {"name", longName}},
                                        {{"file", "data/plants.txt"}, {"compress", false}}};
    description["dataFile"]["name"] = "saver data.bin";
    description["dataFile"]["compress"] = false;
    ASSERT_EQ(build(description, {"--best"}).code, 0);

    const Bytes installer = get("out.exe");
    const InstallerHeader header = readInstallerHeaderRecord(
        std::span(installer).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>());
    EXPECT_EQ(header.installMode, installmode::kQuiet);
    EXPECT_EQ(header.saverTitle, std::string(64, 't'));
    EXPECT_EQ(header.hasLicence, 0);
    EXPECT_FALSE(header.entries[3].present());
    EXPECT_EQ(header.entries[8].compressed, 0);
    EXPECT_EQ(header.entries[8].name, "saver data.bin");
    const Bytes data = entryContents(installer, header.entries[8]);
    const FileTableRecord second =
        readFileTableRecord(std::span(data)
                                .subspan(kSettingsRecordSize + kFileTableRecordSize)
                                .first<kFileTableRecordSize>());
    EXPECT_EQ(second.name, longName) << "256 bytes fill the field";
    const FileTableRecord third =
        readFileTableRecord(std::span(data)
                                .subspan(kSettingsRecordSize + 2 * kFileTableRecordSize)
                                .first<kFileTableRecordSize>());
    const ItemHeader plants =
        readItemHeader(std::span(data)
                           .subspan(static_cast<std::size_t>(third.itemOffset))
                           .first<kItemHeaderSize>());
    EXPECT_EQ(plants.compressed, 0) << "compress: false keeps it stored";
    EXPECT_EQ(run({"verify", path("out.exe").string()}).code, 0);

    description["installMode"] = 8;
    description["preview"] = "files/preview.bmp";
    ASSERT_EQ(build(description).code, 0);
    const Bytes jpeg = get("out.exe");
    EXPECT_EQ(jpeg[INSTALLER_SIZE_IN_BYTES], installmode::kJpeg);
}

TEST_F(Saverpack, EmptyDataFilesAreCarriedWithAWarning) {
    put("data/empty.txt", {});
    const ToolRun result = build(description_);
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.err.find("empty.txt: empty; the installer writes no file"), std::string::npos)
        << result.err;
    EXPECT_EQ(run({"verify", path("out.exe").string()}).code, 0);
}

// ---- progress ----------------------------------------------------------------------------

TEST_F(Saverpack, ProgressOnlyOnATerminalAndNotWithQuiet) {
    put("package.json", bytesOf(description_.dump()));
    const std::string note = "saverpack: note: no --stub: the program image is zero-filled, so " +
                             path("out.exe").string() +
                             " carries the whole package but does not run\n";
    const std::vector<std::string> buildArgs = {"build", path("package.json").string(), "-o",
                                                path("out.exe").string()};
    const std::vector<std::string> verifyArgs = {"verify", path("out.exe").string()};
    ToolEnvironment terminal;
    terminal.errorsToTerminal = true;

    EXPECT_EQ(run(buildArgs).err, note) << "no progress where stderr is no terminal";
    EXPECT_EQ(run(verifyArgs).err, "");

    ToolRun result = run(buildArgs, terminal);
    ASSERT_EQ(result.code, 0);
    EXPECT_NE(result.err.find("\rpacking: 11/11, "), std::string::npos)
        << "8 entries and 3 data files: " << result.err;
    EXPECT_TRUE(result.err.ends_with("\r" + note)) << "the line is cleared before the note";
    result = run(verifyArgs, terminal);
    EXPECT_NE(result.err.find("\rchecking data files: 4/4, "), std::string::npos) << result.err;

    std::vector<std::string> quiet = buildArgs;
    quiet.push_back("--quiet");
    EXPECT_EQ(run(quiet, terminal).err, "");
    EXPECT_EQ(run({"verify", "--quiet", path("out.exe").string()}, terminal).err, "");
}

TEST(SaverpackProgress, OneLineRewrittenAndClearedAtTheEnd) {
    const struct {
        const char* what;
        std::function<void(ProgressSink&)> steps;
        std::string shown;
    } cases[] = {
        {"megabytes, percent of the bytes",
         [](ProgressSink& p) {
             p.begin("packing", 2, 3 << 20);
             p.advance(1 << 20);
             p.advance(2 << 20);
             p.end();
             p.end();
         },
         "\rpacking: 0/2, 0.0 of 3.0 MB (0%)\rpacking: 1/2, 1.0 of 3.0 MB (33%)"
         "\rpacking: 2/2, 3.0 of 3.0 MB (100%)\r" +
             std::string(34, ' ') + "\r"},
        {"bytes, and more than claimed stops at the total",
         [](ProgressSink& p) {
             p.begin("checking", 1, 500);
             p.advance(5000);
         },
         "\rchecking: 0/1, 0 of 500 bytes (0%)\rchecking: 1/1, 500 of 500 bytes (100%)"},
        {"kilobytes; no bytes: percent of the items",
         [](ProgressSink& p) {
             p.begin("a", 4, 2048);
             p.advance(1024);
             p.begin("b", 4, 0);
             p.advance(0);
         },
         "\ra: 0/4, 0.0 of 2.0 kB (0%)\ra: 1/4, 1.0 of 2.0 kB (50%)"
         "\rb: 0/4, 0 of 0 bytes (0%)  \rb: 1/4, 0 of 0 bytes (25%) "},
        {"a shorter stage covers the longer line before it",
         [](ProgressSink& p) {
             p.begin("checking entries", 1, 0);
             p.begin("x", 1, 0);
         },
         "\rchecking entries: 0/1, 0 of 0 bytes (0%)\rx: 0/1, 0 of 0 bytes (0%)" +
             std::string(15, ' ')},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        {
            TerminalProgress progress(out);
            c.steps(progress);
        }
        const std::string cleared = out.str().substr(c.shown.size());
        EXPECT_EQ(out.str().substr(0, c.shown.size()), c.shown) << c.what;
        EXPECT_TRUE(cleared.empty() ||
                    cleared == "\r" + std::string(cleared.size() - 2, ' ') + "\r")
            << c.what << ": ended by the sink's end, at the latest when it goes";
    }
}

// ---- hostile installers -----------------------------------------------------------------

class SaverpackHostile : public Saverpack {
  protected:
    void SetUp() override {
        Saverpack::SetUp();
        // A stored data file, so that its records can be altered in place.
        description_["dataFile"]["compress"] = false;
        ASSERT_EQ(build(description_).code, 0);
        good_ = get("out.exe");
        header_ = readInstallerHeaderRecord(
            std::span(good_).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>());
        dataAt_ = static_cast<std::size_t>(header_.entries[8].firstByte);
    }

    std::size_t entryField(std::size_t index, std::size_t field) const {
        return INSTALLER_SIZE_IN_BYTES + 72 + index * kPackageEntrySize + field;
    }

    // Verify and list survive the file; verify refuses it with `problem`.
    void expectRefused(const Bytes& bytes, const std::string& problem) {
        SCOPED_TRACE(problem);
        put("bad.exe", bytes);
        const ToolRun verified = run({"verify", path("bad.exe").string()});
        EXPECT_EQ(verified.code, 1);
        EXPECT_NE(verified.out.find(problem), std::string::npos) << verified.out;
        run({"list", path("bad.exe").string()});
    }

    Bytes good_;
    InstallerHeader header_;
    std::size_t dataAt_ = 0;
};

TEST_F(SaverpackHostile, TruncatedFiles) {
    expectRefused(Bytes(good_.begin(), good_.begin() + INSTALLER_SIZE_IN_BYTES + 100),
                  "too short for a package");
    expectRefused(Bytes(good_.begin(), good_.end() - 1), "lies past the end of the file");
    Bytes empty;
    expectRefused(empty, "too short for a package: 0 bytes");
}

TEST_F(SaverpackHostile, EntryOffsetsAndSizes) {
    Bytes bytes = good_;
    writeInt32(&bytes[entryField(3, 256)], -5);
    expectRefused(bytes, "entry 3 (preview, \"preview.bmp\"): firstByte -5 lies before");

    bytes = good_;
    writeInt32(&bytes[entryField(6, 260)], INT32_MAX);
    expectRefused(bytes, "entry 6 (engine, \"Aquarium.scr\"): lastByte 2147483647 lies past");

    bytes = good_;
    writeInt32(&bytes[entryField(7, 260)], header_.entries[7].firstByte - 1);
    expectRefused(bytes, "stored size 0");

    bytes = good_;
    writeInt32(&bytes[entryField(3, 276)], header_.entries[3].expandedSize - 1);
    expectRefused(bytes, "expands to more than the");

    bytes = good_;
    writeInt32(&bytes[entryField(3, 276)], INT32_MAX);
    expectRefused(bytes, "expands to " + std::to_string(header_.entries[3].expandedSize) +
                             " bytes, not the 2147483647 it claims");

    bytes = good_;
    bytes[static_cast<std::size_t>(header_.entries[3].firstByte)] = 7; // no literal mode 7
    expectRefused(bytes, "is not an implode stream");

    bytes = good_;
    bytes[entryField(9, 0)] = 0; // entry 9 absent
    expectRefused(bytes, "entry 9 (further file) is absent; the installer stops with -531");

    bytes = good_;
    writeInt32(&bytes[entryField(6, 264)], 7);
    expectRefused(bytes, "the engine goes to the system folder with kind 2");
}

TEST_F(SaverpackHostile, ALibraryWithMButNoZIsNoDll) {
    put("impborl.dll", bytesOf("MX and library code"));
    const ToolRun built = build(description_);
    EXPECT_EQ(built.code, 1);
    EXPECT_NE(built.err.find("impborl.dll: is not a Windows DLL"), std::string::npos) << built.err;

    Bytes bytes = good_;
    bytes[static_cast<std::size_t>(header_.entries[1].firstByte) + 1] = 'X';
    expectRefused(bytes, "not a Windows DLL (no \"MZ\" at its start)");
}

TEST_F(SaverpackHostile, DataFileRecords) {
    Bytes bytes = good_;
    writeInt32(&bytes[dataAt_ + 212], INT32_MAX);
    expectRefused(bytes, "fileCount 2147483647 is outside 0 to 1010");

    bytes = good_;
    writeInt32(&bytes[dataAt_ + 212], 1010);
    expectRefused(bytes, "its table of 1010 records runs past its end");

    const std::size_t record = dataAt_ + kSettingsRecordSize; // the first table record
    bytes = good_;
    writeInt32(&bytes[record + 260], INT32_MAX - 10);
    expectRefused(bytes, "data file item 1 \"fish\\clown.bmp\": itemOffset 2147483637");

    bytes = good_;
    writeInt32(&bytes[record + 260], 100); // inside the settings record
    expectRefused(bytes, "does not lie between the table's end");

    const FileTableRecord first =
        readFileTableRecord(std::span(good_).subspan(record).first<kFileTableRecordSize>());
    const std::size_t item = dataAt_ + static_cast<std::size_t>(first.itemOffset);
    bytes = good_;
    writeInt32(&bytes[item + 12], INT32_MAX); // storedSize
    expectRefused(bytes, "stored bytes run past the data file's end");

    bytes = good_;
    writeInt32(&bytes[item + 8], INT32_MAX); // size
    expectRefused(bytes, "bytes, not the 2147483647 it claims");

    bytes = good_;
    writeInt32(&bytes[item + 12], 0);
    expectRefused(bytes, "0 stored bytes; the installer refuses sizes below 1");

    bytes = good_;
    std::memcpy(&bytes[record + 2], "..\\x", 5);
    expectRefused(bytes, "data file item 1 \"..\\x\": the installer refuses this name");

    bytes = good_;
    writeInt32(&bytes[dataAt_ + 1208], kSaverKindCopiesMovie);
    expectRefused(bytes, "no entry puts installer.swf there");
}

TEST_F(SaverpackHostile, RandomDamageNeverCrashes) {
    std::mt19937 random(7);
    const std::size_t from = INSTALLER_SIZE_IN_BYTES;
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        Bytes bytes = good_;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = from + random() % (bytes.size() - from);
            bytes[at] = static_cast<std::uint8_t>(random());
        }
        if (round % 5 == 0)
            bytes.resize(from + random() % (bytes.size() - from));
        MemorySource source(bytes);
        const PackageReport report = inspectPackage(source, InspectionDepth::verify);
        std::ostringstream listing;
        printListing(report, listing);
        if (!report.problems.empty()) {
            ++refused;
            continue;
        }
        // What verify passes, an independent expansion confirms.
        for (const PackageEntry& entry : report.header.entries) {
            if (!entry.present() || !entry.compressed)
                continue;
            const auto first = bytes.begin() + entry.firstByte;
            const implode::Exploded exploded =
                implode::explodeBuffer(Bytes(first, first + entry.storedSize()));
            EXPECT_EQ(exploded.result, implode::kResultOk) << entry.name;
            EXPECT_EQ(exploded.data.size(), static_cast<std::size_t>(entry.expandedSize));
        }
    }
    EXPECT_GT(refused, 10) << "damage to stored bytes goes unseen, but not all damage";
}

TEST(SaverpackExpansion, StopsOneBytePastTheClaimedSize) {
    const Bytes zeros(100000, 0);
    const implode::Imploded stream = implode::implodeBuffer(zeros, {});
    ASSERT_EQ(stream.result, implode::kResultOk);
    MemorySource source(stream.stream);
    Bytes kept;
    const Expansion small = expandStored(source, 0, stream.stream.size(), 1000, &kept);
    EXPECT_TRUE(small.overflow);
    EXPECT_EQ(kept.size(), 1001u) << "memory follows the claim, not the stream";
    const Expansion exact = expandStored(source, 0, stream.stream.size(), 100000, nullptr);
    EXPECT_FALSE(exact.overflow);
    EXPECT_EQ(exact.result, implode::kResultOk);
    EXPECT_EQ(exact.produced, 100000u);
    EXPECT_TRUE(expandStored(source, 1, stream.stream.size(), 10, nullptr).readFailed);
}

// ---- output is whole or absent ------------------------------------------------------------

TEST_F(Saverpack, AFailedBuildKeepsTheOldOutput) {
    put("out.exe", bytesOf("the previous installer"));
    json description = description_;
    description["engine"] = "files/Missing.scr";
    EXPECT_EQ(build(description).code, 1);
    EXPECT_EQ(get("out.exe"), bytesOf("the previous installer"));
    ASSERT_EQ(build(description_).code, 0);
    EXPECT_GT(get("out.exe").size(), INSTALLER_SIZE_IN_BYTES) << "replaced on success";
    EXPECT_EQ(leftovers(), std::vector<std::string>{"out.exe"});
}

TEST_F(Saverpack, AtomicOutputFileRemovesItsTemporaryFileUnlessCommitted) {
    fs::path temporary;
    {
        AtomicOutputFile file(path("x.bin"));
        temporary = file.temporaryPath();
        file.write(bytesOf("half"));
        EXPECT_TRUE(fs::exists(temporary));
        EXPECT_EQ(temporary.parent_path(), dir_) << "renamed within one folder";
    }
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(path("x.bin")));
    EXPECT_THROW(AtomicOutputFile(path("no/such/folder/x.bin")), ToolError);
}

TEST_F(Saverpack, ImplodeAndExplodeRawStreams) {
    const Bytes text = textBytes(20000, "The quick brown fish swims by the reef. ");
    put("in.txt", text);
    for (const std::vector<std::string>& options : {std::vector<std::string>{},
                                                    {"--ascii", "--window", "1024"},
                                                    {"--best", "--window", "2048"}}) {
        std::vector<std::string> args = {"implode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(path("in.txt").string());
        args.push_back(path("in.imp").string());
        ASSERT_EQ(run(args).code, 0);
        const Bytes stream = get("in.imp");
        EXPECT_LT(stream.size(), text.size() / 4);
        ASSERT_EQ(run({"explode", path("in.imp").string(), path("back.txt").string()}).code, 0);
        EXPECT_EQ(get("back.txt"), text);
    }
    // A truncated stream: refused, and nothing written, although explode had
    // produced output before it found the fault.
    Bytes stream = get("in.imp");
    stream.resize(stream.size() / 2);
    put("cut.imp", stream);
    const ToolRun result = run({"explode", path("cut.imp").string(), path("cut.txt").string()});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("cut.imp: is a truncated implode stream"), std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(path("cut.txt")));
    EXPECT_EQ(run({"explode", path("none.imp").string(), path("x").string()}).code, 1);
    EXPECT_TRUE(leftovers().empty());
}

// What a signer prints reaches the terminal as plain text: no escape
// sequences, no other control characters, no bytes that are not UTF-8.
TEST(SignerOutput, IsShownOnlyAsPlainText) {
    const struct {
        const char* what;
        std::string printed;
        std::string shown;
    } cases[] = {
        {"text, tabs and newlines", "Failed\tto sign\nfile.exe\n", "Failed\tto sign\nfile.exe\n"},
        {"carriage returns dropped", "one\r\ntwo\r", "one\ntwo"},
        {"escape sequences", "\x1b[31mred\x1b]0;title\x07", "?[31mred?]0;title?"},
        {"other controls and DEL", std::string("a\0b\bc\x7f", 6), "a?b?c?"},
        {"UTF-8 kept", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"},
        {"C1 controls, raw and encoded",
         "\x9b"
         "2J\xc2\x9b"
         "2J\xc2\xa0",
         "?2J??2J\xc2\xa0"},
        {"cut short", "end\xe2\x82", "end??"},
        {"overlong and surrogate", "\xc0\xaf\xe0\x80\xaf\xed\xa0\x80", "????????"},
        {"past U+10FFFF", "\xf4\x90\x80\x80\xf5", "?????"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plainText(c.printed), c.shown) << c.what;
}

// ---- packing on many workers ------------------------------------------------------------

// Workers finish files out of order, even on two cores when there are eight
// of them; the installer must not show it.
TEST_F(Saverpack, AnyNumberOfWorkersWritesTheSameInstaller) {
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        const std::size_t size = random() % 6000;
        const std::string name = "data/many/" + std::to_string(i) + (i % 3 ? ".bin" : ".txt");
        put(name, i % 3 ? randomBytes(size, static_cast<unsigned>(i))
                        : textBytes(size, "word " + std::to_string(i) + " "));
    }
    Bytes large = textBytes(3 << 20, "a long movie of the reef, frame after frame; ");
    const Bytes noise = randomBytes(1 << 20, 8);
    std::copy(noise.begin(), noise.end(), large.begin() + (1 << 20));
    put("data/reef.avi", large);

    const struct {
        const char* what;
        fs::path description;
        std::vector<std::string> workers; // the builds that must agree
    } cases[] = {
        {"many small files and one large", path("package.json"), {"-j", "8"}},
        {"many small files and one large", path("package.json"), {}},
        {"the example", fs::path(VLX_EXAMPLES_DIR) / "aquarium" / "package.json", {}},
    };
    put("package.json", bytesOf(description_.dump()));
    for (const auto& c : cases) {
        const auto buildWith = [&](const std::vector<std::string>& workers,
                                   const std::string& out) {
            std::vector<std::string> args = {"build",     c.description.string(),
                                             "-o",        path(out).string(),
                                             "--library", path("impborl.dll").string()};
            args.insert(args.end(), workers.begin(), workers.end());
            const ToolRun result = run(args);
            EXPECT_EQ(result.code, 0) << c.what << ": " << result.err;
            return get(out);
        };
        const Bytes one = buildWith({"-j", "1"}, "one.exe");
        EXPECT_EQ(buildWith(c.workers, "many.exe"), one) << c.what;
    }
    EXPECT_EQ(run({"verify", path("many.exe").string()}).code, 0);
}

// A stream is given up as soon as it is no smaller than the best so far: the
// choice must still be the one that compressing it to its end in both
// literal modes makes.
TEST(SaverpackCompression, KeepsTheSmallerStreamOnlyWhenItShrinks) {
    Bytes mixed = textBytes(40000, "the quick brown fish ");
    const Bytes noise = randomBytes(20000, 9);
    mixed.insert(mixed.begin() + 10000, noise.begin(), noise.end());
    const struct {
        const char* what;
        Bytes bytes;
        bool tryAscii;
    } cases[] = {
        {"noise: stored", randomBytes(70000, 10), true},
        {"one byte: stored", bytesOf("x"), true},
        {"text: the smaller mode", textBytes(50000, "Kelp and seagrass sway. "), true},
        {"text, binary mode only", textBytes(50000, "Kelp and seagrass sway. "), false},
        {"zeros", Bytes(65536, 0), true},
        {"text around noise", mixed, true},
    };
    for (const auto& c : cases) {
        CompressionChoice choice;
        choice.tryAscii = c.tryAscii;
        std::optional<Bytes> expected;
        for (unsigned int mode : {implode::kModeBinary, implode::kModeAscii}) {
            if (mode == implode::kModeAscii && !c.tryAscii)
                continue;
            implode::ImplodeSettings settings;
            settings.mode = mode;
            Bytes whole = implode::implodeBuffer(c.bytes, settings).stream;
            if (whole.size() < (expected ? expected->size() : c.bytes.size()))
                expected = std::move(whole);
        }
        MemorySource source(c.bytes);
        const Compression got = compressSmaller(source, choice);
        EXPECT_FALSE(got.readFailed) << c.what;
        EXPECT_EQ(got.stream, expected) << c.what;
    }
}

TEST_F(Saverpack, StoresWhatDoesNotShrinkAsItIs) {
    put("data/noise.jpg", randomBytes(200000, 11));
    json description = description_;
    description["dataFile"]["files"].push_back(
        {{"file", "files/readme.txt"}, {"name", "readme-stored.txt"}, {"compress", false}});
    ASSERT_EQ(build(description).code, 0);
    const Bytes installer = get("out.exe");
    MemorySource source(installer);
    const PackageReport report = inspectPackage(source, InspectionDepth::list);
    ASSERT_TRUE(report.dataFile);
    const struct {
        std::string name;
        int compressed;
        std::int32_t stored;
    } expected[] = {{"noise.jpg", 0, 200000}, {"readme-stored.txt", 0, 900}, {"plants.txt", 1, -1}};
    for (const auto& e : expected) {
        const auto item =
            std::find_if(report.dataFile->items.begin(), report.dataFile->items.end(),
                         [&](const ItemReport& i) { return i.record.name == e.name; });
        ASSERT_NE(item, report.dataFile->items.end()) << e.name;
        ASSERT_TRUE(item->header) << e.name;
        EXPECT_EQ(item->header->compressed, e.compressed) << e.name;
        if (e.stored >= 0)
            EXPECT_EQ(item->header->bytesFollowing(), e.stored) << e.name;
        else
            EXPECT_LT(item->header->bytesFollowing(), item->header->size) << e.name;
    }
    EXPECT_EQ(run({"verify", path("out.exe").string()}).code, 0);
}

// A file gone between the description's reading and its packing: one line
// naming it, and nothing written, on any number of workers.
TEST_F(Saverpack, AFileGoneBeforeItIsPackedIsNamedAndNothingIsWritten) {
    put("package.json", bytesOf(description_.dump()));
    PackagePlan plan = readPackageDescription(path("package.json"));
    setImplodeLibrary(plan, path("impborl.dll"));
    fs::remove(path("data/fish/tang.bmp"));
    for (unsigned int workers : {1u, 8u}) {
        PackingOptions options;
        options.workers = workers;
        try {
            AtomicOutputFile file(path("out.exe"));
            writeInstaller(plan, {}, options, file);
            ADD_FAILURE() << "packed without tang.bmp on " << workers << " workers";
        } catch (const ToolError& error) {
            EXPECT_EQ(std::string(error.what()),
                      path("data/fish/tang.bmp").string() +
                          ": no such file (data file \"fish\\tang.bmp\" in " +
                          path("package.json").string() + ")")
                << workers;
        }
        EXPECT_TRUE(leftovers().empty()) << workers;
    }
}

} // namespace
