// The real installer.exe, started by the logging launcher on packages built
// with the packaging tool's builder, the stand-in player registered: what the
// launcher receives, the exit code, what stays on the machine and what not.
#include "installer_fixture.h"
#include "payload/entry_destinations.h"
#include "system/earlier_saver.h"

#include <map>

namespace winetest {
namespace {

// With system libraries' namesakes beside the installer file, none of which
// it may load.
TEST_F(Installer, QuietRunsTellTheLauncherAndLeaveTheSaverInstalled) {
    ASSERT_EQ(registered, 0u);
    plantSystemLibraries();
    const struct {
        const char* what;
        std::uint8_t mode;
        bool offer;
        std::vector<std::string> arguments;
        std::vector<std::string> commands;
    } cases[] = {
        {"quiet package", installmode::kQuiet, true, {}, {"openScreenSaverControlPanel"}},
        {"quiet package, no control panel", installmode::kQuiet, false, {}, {}},
        {"/q", installmode::kBitmap, true, {"/q"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> expected{commandLine("read installer heard file")};
        if (!c.arguments.empty())
            expected.push_back(commandLine("quiet installer"));
        expected.push_back(commandLine("makeActiveSaver-" + engine + std::string(1, '\0')));
        for (const std::string& command : c.commands)
            expected.push_back(commandLine(command));
        expected.push_back("post 0x0501 wParam=0 lParam=0");
        expected.push_back("exit 0");
        EXPECT_EQ(run(package(c.mode, c.offer), c.arguments), expected);
        EXPECT_TRUE(installed());
        EXPECT_EQ(loadedPlantedLibraries(), std::vector<std::string>{});
        removeSaver();
    }
}

TEST_F(Installer, FailuresEndWithTheirCodeAndLeaveNothing) {
    ASSERT_EQ(registered, 0u);
    DataFileContent climbing;
    climbing.items.push_back({"..\\..\\climbed" + tag + ".txt", 0, true, patternBytes(300, 'c')});
    // The stand-in player installer carried; it registers nothing.
    PackageContent carrying = package(installmode::kQuiet, true);
    const std::string playerInstaller = readFile(standin::installerPath());
    carrying.entries[entry::kFlashInstaller] = EntryContent{
        kFlashInstallerName, 4, true, Bytes(playerInstaller.begin(), playerInstaller.end())};
    carrying.header.carriesFlashInstaller = 1;
    const struct {
        const char* what;
        PackageContent content;
        std::function<void(Bytes&)> damage;
        bool player;
        std::string exit;
        std::vector<std::string> dialogs;
    } cases[] = {
        {"player update fails",
         carrying,
         {},
         false,
         "exit " + std::to_string(static_cast<std::uint32_t>(result::kFlashUpdateFailed)),
         {"Error"}},
        {"no player",
         package(installmode::kQuiet, true),
         {},
         false,
         "exit " + std::to_string(static_cast<std::uint32_t>(result::kFlashPlayerRequired)),
         {"Information"}},
        {"wrong expanded size",
         package(installmode::kQuiet, true),
         changeHeader([](InstallerHeader& header) { header.entries[6].expandedSize += 10; }),
         true,
         "exit " + std::to_string(static_cast<std::uint32_t>(result::kExpandedSizeWrong)),
         {}},
        {"climbing data file",
         package(installmode::kQuiet, true, climbing),
         {},
         true,
         "exit " + std::to_string(static_cast<std::uint32_t>(result::kUnsafeDataFileName)),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.player)
            standin::removePlayerRegistration();
        standin::setInstallerBehaviour("exit");
        DialogAnswerer answerer;
        const auto lines = run(c.content, {}, c.damage);
        // After the failed update the player installer runs on for the user
        // to install by hand; its own file stays in the work folder, which
        // nothing can remove while it runs.
        if (const HWND shown = FindWindowA(nullptr, "Stand-in Player Installer")) {
            const std::vector<std::string> left = workFolderFiles();
            PostMessageA(shown, WM_CLOSE, 0, 0);
            EXPECT_TRUE(waitForProcessOf(shown, 10000));
            removeWorkFolders();
            ASSERT_EQ(left.size(), 2u);
            EXPECT_EQ(left[1], left[0] + kFlashInstallerName);
        }
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), c.exit);
        EXPECT_EQ(lines[lines.size() - 2], "post 0x0501 wParam=0 lParam=0");
        const auto titles = answerer.titles();
        if (!c.dialogs.empty()) {
            EXPECT_EQ(titles, c.dialogs);
        }
        if (c.content.header.carriesFlashInstaller) {
            ASSERT_EQ(answerer.texts().size(), 1u);
            EXPECT_EQ(answerer.texts()[0].rfind("Adobe Flash Player Installation Failed.", 0), 0u)
                << answerer.texts()[0];
        }
        expectNothingLeft();
        EXPECT_FALSE(exists(folderOf(CSIDL_COMMON_APPDATA) + "climbed" + tag + ".txt"));
        if (!c.player) {
            ASSERT_EQ(standin::registerPlayer(standin::playerPath(standin::PlayerBuild::Default)),
                      0u);
        }
    }
}

// Installer files that the packaging tool never writes: each run ends with a
// message or an exit code, writes nothing outside its folders and leaves
// nothing behind.
TEST_F(Installer, HostileInstallerFilesEndWithAMessageOrCodeAndLeaveNothing) {
    ASSERT_EQ(registered, 0u);
    const std::string climbed = "evil" + tag + ".scr";
    const auto exitWith = [](ResultCode code) {
        return "exit " + std::to_string(static_cast<std::uint32_t>(code));
    };
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        std::string exit;
        std::vector<std::string> dialogs;
    } cases[] = {
        {"nothing behind the program",
         [](Bytes& bytes) { bytes.resize(INSTALLER_SIZE_IN_BYTES); },
         exitWith(result::kHeaderTooShort),
         {"Error", "Error"}},
        {"header cut short",
         [](Bytes& bytes) { bytes.resize(INSTALLER_SIZE_IN_BYTES + 1000); },
         exitWith(result::kHeaderTooShort),
         {"Error", "Error"}},
        {"engine stored beyond the end",
         changeHeader([](InstallerHeader& header) { header.entries[6].lastByte = 0x7FFFFFF0; }),
         exitWith(result::kShortRead),
         {"Error"}},
        {"engine before the start",
         changeHeader([](InstallerHeader& header) { header.entries[6].firstByte = -5; }),
         exitWith(result::kShortRead),
         {"Error"}},
        {"engine's stream with a bad header",
         [](Bytes& bytes) {
             const InstallerHeader header = readInstallerHeaderRecord(
                 std::span(bytes).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>());
             bytes.at(header.entries[6].firstByte) = 7; // no literal mode 7
         },
         exitWith(result::kExpandedSizeWrong),
         {"Error"}},
        {"engine name climbs",
         changeHeader(
             [&](InstallerHeader& header) { header.entries[6].name = "..\\..\\" + climbed; }),
         exitWith(result::kUnsafeEntryName),
         {"Error"}},
        {"title that is no folder name",
         changeHeader([](InstallerHeader& header) { header.saverTitle = ".."; }),
         exitWith(result::kUnsafeSaverTitle),
         {"Error", "Error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DialogAnswerer answerer;
        const auto lines = run(package(installmode::kQuiet, true), {}, c.damage);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), c.exit);
        EXPECT_EQ(lines[lines.size() - 2], "post 0x0501 wParam=0 lParam=0");
        EXPECT_EQ(answerer.titles(), c.dialogs);
        expectNothingLeft();
        EXPECT_FALSE(exists(folderOf(CSIDL_COMMON_APPDATA) + climbed));
        EXPECT_FALSE(exists(systemFolder() + climbed));
    }
}

// Every file a saver of this fixture can have, with its bytes: the saver
// folder's tree, the engine in the system and Windows folders and the kind-3
// library in the shared folder.
std::map<std::string, std::string> saverFiles(const Installer& fixture) {
    std::map<std::string, std::string> files;
    std::vector<std::string> folders{fixture.saverFolder()};
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(folder + name + "\\");
            else
                files[folder + name] = readFile(folder + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const std::string& path :
         {systemFolder() + fixture.engine, folderOf(CSIDL_WINDOWS) + fixture.engine,
          folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\inslib" + fixture.tag + ".dll"})
        if (exists(path))
            files[path] = readFile(path);
    return files;
}

// The values of the saver's uninstall entry, "NAME=VALUE" each.
std::vector<std::string> uninstallValues(const std::string& title) {
    std::vector<std::string> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[1024];
        DWORD dataSize = sizeof data;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        values.push_back(std::string(name) + "=" +
                         std::string(reinterpret_cast<const char*>(data), dataSize));
    }
    RegCloseKey(key);
    return values;
}

// Set-aside and left-over copies in every folder a saver's files are in.
std::vector<std::string> setAsideCopies(const Installer& fixture) {
    std::vector<std::string> copies;
    for (const std::string& folder :
         {fixture.saverFolder(), folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\", systemFolder(),
          folderOf(CSIDL_WINDOWS)})
        for (const char* suffix : {kSetAsideSuffix, kLeftoverSuffix}) {
            WIN32_FIND_DATAA found;
            const HANDLE search = FindFirstFileA((folder + "*" + suffix + "*").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            do
                copies.push_back(folder + found.cFileName);
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
    return copies;
}

// A quiet reinstall while another program holds the earlier engine open ends
// with the busy-engine code before anything changed; once it lets go, the
// same reinstall replaces the earlier saver whole.
TEST_F(Installer, QuietReinstallOverAHeldEngineKeepsTheEarlierSaverWhole) {
    ASSERT_EQ(registered, 0u);
    const auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    const auto withData = [](std::uint8_t seed) {
        DataFileContent data;
        data.items.push_back({"waves.bin", 0, true, patternBytes(4000, seed)});
        return data;
    };
    const PackageContent first = package(installmode::kQuiet, false, withData('a'));
    PackageContent second = package(installmode::kQuiet, false, withData('b'));
    second.entries[6]->bytes = patternBytes(61000, 'f');
    second.entries[9]->bytes = patternBytes(7100, 'm');
    second.entries[10]->bytes = patternBytes(120, 'o');
    const std::vector<std::string> installedWithoutOffer{
        commandLine("read installer heard file"),
        commandLine("makeActiveSaver-" + engine + std::string(1, '\0')),
        "post 0x0501 wParam=0 lParam=0", "exit 0"};

    ASSERT_EQ(run(first), installedWithoutOffer);
    const std::map<std::string, std::string> earlier = saverFiles(*this);
    const std::vector<std::string> earlierEntry = uninstallValues(title);
    const std::string engineFile = systemFolder() + engine;
    ASSERT_TRUE(earlier.at(engineFile) == text(first.entries[6]->bytes));
    ASSERT_TRUE(earlier.at(saverFolder() + "waves.bin") == text(patternBytes(4000, 'a')));
    ASSERT_EQ(earlierEntry.size(), 2u);

    {
        NamedEvent ready("vlx_iready_" + tag), release("vlx_irelease_" + tag);
        ChildProcess holder(programFolder() + "file_holder.exe",
                            "\"" + engineFile + "\" vlx_iready_" + tag + " vlx_irelease_" + tag);
        ASSERT_TRUE(holder.started());
        ASSERT_TRUE(ready.wait(scaledWait(20000)));
        DialogAnswerer answerer;
        const std::vector<std::string> lines = run(second);
        release.set();
        EXPECT_EQ(holder.wait(scaledWait(30000)), 0u);
        EXPECT_EQ(lines,
                  (std::vector<std::string>{
                      commandLine("read installer heard file"), "post 0x0501 wParam=0 lParam=0",
                      "exit " + std::to_string(static_cast<std::uint32_t>(result::kSaverBusy))}));
        EXPECT_EQ(answerer.titles(), std::vector<std::string>{"Error"});
    }
    EXPECT_EQ(saverFiles(*this), earlier) << "the earlier saver byte for byte";
    EXPECT_EQ(uninstallValues(title), earlierEntry);
    EXPECT_EQ(setAsideCopies(*this), std::vector<std::string>{});
    EXPECT_EQ(workFolderFiles(), std::vector<std::string>{}) << "a work folder is left";

    EXPECT_EQ(run(second), installedWithoutOffer);
    const std::map<std::string, std::string> replaced = saverFiles(*this);
    std::map<std::string, std::string> expected = earlier;
    expected[engineFile] = text(second.entries[6]->bytes);
    expected[folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\inslib" + tag + ".dll"] =
        text(second.entries[9]->bytes);
    expected[saverFolder() + "notes.txt"] = text(second.entries[10]->bytes);
    expected[saverFolder() + "waves.bin"] = text(patternBytes(4000, 'b'));
    for (const auto& [path, bytes] : expected) {
        SCOPED_TRACE(path);
        ASSERT_EQ(replaced.count(path), 1u);
        EXPECT_TRUE(replaced.at(path) == bytes) << "not the second version's bytes";
    }
    EXPECT_EQ(replaced.size(), expected.size());
    EXPECT_EQ(uninstallValues(title), earlierEntry);
    EXPECT_EQ(setAsideCopies(*this), std::vector<std::string>{});
    EXPECT_EQ(workFolderFiles(), std::vector<std::string>{}) << "a work folder is left";
    DeleteFileA((folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\inslib" + tag + ".dll").c_str());
}

} // namespace
} // namespace winetest
