// The package description: a JSON file that names the saver's title, install
// mode and flags and every file the installer carries. Reading it checks
// everything the installer would refuse or trip over (names, kinds, missing
// entries, two files with one destination) before any file is packed.
//
//   {
//     "saverTitle": "Aquarium",
//     "installMode": "bitmap",            // 1 bitmap, 2/3 movie, 4 quiet, 8 jpeg
//     "offerControlPanel": true,
//     "implodeLibrary": "impborl.dll",    // optional; else --library or the built one
//     "flashInstaller": "install_flash_player_active_x.exe",   // optional
//     "flashAXInstallerVersion": 0,
//     "preview": "files/preview.bmp",
//     "licence": "files/licence.rtf",     // optional: sets hasLicence
//     "document": "files/readme.txt",     // optional: sets hasDocument
//     "engine": "files/Aquarium.scr",
//     "furtherFiles": ["a.ini", {"file": "b.wav", "kind": 1}, "c.txt"],  // entries 7, 9, 10
//     "dataFile": {
//       "name": "Aquarium.dat",           // default: the engine's name with ".dat"
//       "settings": "files/settings.bin", // 1240 bytes; default: zero-filled
//       "saverKind": 0,                   // default: the settings file's value
//       "files": [
//         {"folder": "data"},             // walked recursively, names relative to it
//         {"file": "x/y.txt", "name": "docs\\y.txt", "compress": false},
//         {"name": "fish\\copy.bmp", "copy": true}   // a copy the installer makes
//       ]
//     }
//   }
//
// A file of an entry is a path (relative to the description) or an object
// with "file" and optionally "name", "kind" and "compress". Keys that begin
// with "//", in any object, explain their siblings and are skipped.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "payload/package_records.h"

// One entry: where its bytes come from and how the installer places it.
struct EntryPlan {
    std::string role;                            // for messages: "preview", "furtherFiles[1]", ...
    std::optional<std::filesystem::path> source; // none: the data file, made by the tool
    std::string name;
    std::string nameField; // where the name comes from: "preview.name", "engine", ...
    std::int32_t kind = 0;
    bool compress = true;
};

// One record of the data file's table.
struct DataItemPlan {
    std::string name;                            // relative to the saver folder, backslashes
    std::optional<std::filesystem::path> source; // none: a copy the installer makes
    bool compress = true;
    std::string field; // where it is named: "dataFile.files[0].folder", ...
};

struct PackagePlan {
    std::filesystem::path descriptionFile;
    std::string saverTitle;
    std::uint8_t installMode = 0;
    std::uint8_t offerControlPanel = 0;
    std::uint8_t flashAXInstallerVersion = 0;
    std::optional<std::filesystem::path> implodeLibrary;
    std::array<std::optional<EntryPlan>, kPackageEntryCount> entries; // 1 comes with the library
    SettingsRecord settings; // saverKind set, fileCount set from the items
    std::vector<DataItemPlan> dataItems;
};

// Reads and checks the description; walks the data folders it names and
// reads the settings file. Every path it names that lies in its folder, the
// saver's folder, must stay there once its links are followed. Throws ToolError naming the file,
// the field and the problem: "package.json: dataFile.files[3].name: climbs out of its folder".
PackagePlan readPackageDescription(const std::filesystem::path& file);

// The same with the description's text given; `file` names it and its
// folder is where its paths start.
PackagePlan readPackageDescription(const std::filesystem::path& file,
                                   std::span<const std::uint8_t> text);

// Keys of a description that begin with this explain their siblings.
constexpr std::string_view kExplanationPrefix = "//";

// What the installer would refuse in an entry name, a data-file name
// (backslashes between its folders) and a saver title; empty when it takes it.
std::string entryNameProblem(const std::string& name);
std::string dataFileNameProblem(const std::string& name);

// Every file below a data folder, with its name in the saver folder (its
// path below `folder`, with backslashes, under `under` when that is not
// empty). Symbolic links are followed when they stay inside `saverFolder`
// (see checkStaysInside); one that leads outside, or back into a folder
// that holds it, is refused, as is what is neither a file nor a folder and
// a folder that cannot be read.
std::vector<std::pair<std::string, std::filesystem::path>>
filesBelowDataFolder(const std::filesystem::path& saverFolder, const std::filesystem::path& folder,
                     const std::string& under);
std::string saverTitleProblem(const std::string& title);

// Sets entry 1: the implode library, stored as "impborl.dat" (kind 4).
void setImplodeLibrary(PackagePlan& plan, const std::filesystem::path& library);

// The install mode from a number or one of the names "bitmap", "movie",
// "quiet" and "jpeg"; nothing for anything else.
std::optional<std::uint8_t> installModeFromText(const std::string& text);
