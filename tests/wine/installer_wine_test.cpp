// The real installer.exe, started by the logging launcher on packages built
// with the packaging tool's builder, the stand-in player registered: what the
// launcher receives, the exit code, what stays on the machine and what not.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <functional>
#include <thread>

#include "payload/package_records.h"
#include "platform/win32/win32_platform.h"
#include "sample_packages.h"
#include "stand_in_support.h"
#include "system/file_operations.h"
#include "system/saver_names.h"
#include "system/uninstall_entry.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string commandLine(const std::string& text) {
    return "copydata sender=window dwData=0 cbData=" + std::to_string(text.size() + 1) +
           " bytes=" + hex(text + std::string(1, '\0'));
}

std::string folderOf(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return std::string(path) + "\\";
}

std::string systemFolder() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\";
}

bool uninstallEntryExists(const std::string& title) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A damage that changes the package header as a record.
std::function<void(Bytes&)> changeHeader(std::function<void(InstallerHeader&)> change) {
    return [change](Bytes& bytes) {
        const auto record =
            std::span(bytes).subspan(INSTALLER_SIZE_IN_BYTES).first<kInstallerHeaderSize>();
        InstallerHeader header = readInstallerHeaderRecord(record);
        change(header);
        const HeaderBytes written = writeInstallerHeaderRecord(header);
        std::copy(written.begin(), written.end(), record.begin());
    };
}

// Answers the installer's message dialogs while it runs: OK in information
// dialogs, Abort in error dialogs, No in questions. It keeps the texts.
class DialogAnswerer {
  public:
    DialogAnswerer() : thread_([this] { run(); }) {}
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<std::string> titles() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return titles_;
    }

  private:
    void run() {
        const struct {
            const char* title;
            int button;
        } answers[] = {{"Information", IDOK}, {"Error", IDABORT}, {"Confirm", IDNO}};
        while (!stop_) {
            for (const auto& answer : answers) {
                if (const HWND dialog = FindWindowA(nullptr, answer.title)) {
                    titles_.push_back(answer.title);
                    SendDlgItemMessageA(dialog, answer.button, BM_CLICK, 0, 0);
                }
            }
            Sleep(100);
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<std::string> titles_;
    std::thread thread_;
};

struct Installer : ::testing::Test {
    Installer() {
        standin::clearSwitches();
        standin::removePlayerRegistration();
        registered = standin::registerPlayer(standin::playerPath(standin::PlayerBuild::Default));
    }
    ~Installer() override {
        standin::removePlayerRegistration();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str());
        DeleteFileA((systemFolder() + engine).c_str());
        platform::win32::Win32FileSystem files;
        deleteFolderTree(files, saverFolder());
    }

    PackageContent package(std::uint8_t mode, bool offerControlPanel,
                           const DataFileContent& data = {}) {
        PackageContent content = samplePackage(title, engine, "inslib" + tag + ".bin", data);
        content.header.installMode = mode;
        content.header.offerControlPanel = offerControlPanel ? 1 : 0;
        return content;
    }

    // Builds the installer from the real program image and runs it under the
    // launcher; the launcher's log lines, the last one "exit N".
    // `damage` changes the finished installer file before it runs.
    std::vector<std::string> run(const PackageContent& content,
                                 const std::vector<std::string>& arguments = {},
                                 const std::function<void(Bytes&)>& damage = {}) {
        const std::string image = readFile(programFolder() + "installer.exe");
        Bytes bytes =
            buildInstaller(Bytes(image.begin(), image.end()), INSTALLER_SIZE_IN_BYTES, content, {});
        if (damage)
            damage(bytes);
        const std::string setup = folder.path() + "Setup " + tag + ".exe";
        writeFile(setup, std::string(bytes.begin(), bytes.end()));
        std::string line = "\"" + folder.path() + "launcher.log\" \"" + setup + "\"";
        for (const std::string& argument : arguments)
            line += " " + argument;
        ChildProcess launcher(programFolder() + "launcher.exe", line);
        EXPECT_TRUE(launcher.started());
        EXPECT_EQ(launcher.wait(90000), 0u);
        std::vector<std::string> lines;
        std::string log = readFile(folder.path() + "launcher.log");
        for (std::size_t end; (end = log.find('\n')) != std::string::npos; log.erase(0, end + 1))
            lines.push_back(log.substr(0, end));
        return lines;
    }

    std::string saverFolder() const {
        return folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\" + shortName + "\\";
    }
    bool installed() const {
        return exists(systemFolder() + engine) && exists(saverFolder() + "saver.dat") &&
               uninstallEntryExists(title);
    }
    // No saver files, no uninstall entry, no work folder of this run.
    void expectNothingLeft() const {
        EXPECT_FALSE(exists(systemFolder() + engine));
        EXPECT_FALSE(exists(saverFolder()));
        EXPECT_FALSE(uninstallEntryExists(title));
        WIN32_FIND_DATAA found;
        const HANDLE search =
            FindFirstFileA((folderOf(CSIDL_LOCAL_APPDATA) + "Vellarmont\\Vlx*").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a work folder is left";
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }

    DWORD registered = 1;
    std::string tag = std::to_string(GetCurrentProcessId());
    std::string title = "Reef " + tag + " Screen Saver";
    std::string engine = "Reef" + tag + ".scr";
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    std::string shortName = getCodedShortFilenameForScreensaver(platform, title);
    TempFolder folder{"installer"};
};

TEST_F(Installer, QuietRunsTellTheLauncherAndLeaveTheSaverInstalled) {
    ASSERT_EQ(registered, 0u);
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
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str());
        DeleteFileA((systemFolder() + engine).c_str());
        platform::win32::Win32FileSystem files;
        deleteFolderTree(files, saverFolder());
    }
}

TEST_F(Installer, FailuresEndWithTheirCodeAndLeaveNothing) {
    ASSERT_EQ(registered, 0u);
    DataFileContent climbing;
    climbing.items.push_back({"..\\..\\climbed" + tag + ".txt", 0, true, patternBytes(300, 'c')});
    const struct {
        const char* what;
        PackageContent content;
        std::function<void(Bytes&)> damage;
        bool player;
        std::string exit;
        std::vector<std::string> dialogs;
    } cases[] = {
        {"no player", package(installmode::kQuiet, true), {}, false, "exit 0", {"Information"}},
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
        DialogAnswerer answerer;
        const auto lines = run(c.content, {}, c.damage);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), c.exit);
        EXPECT_EQ(lines[lines.size() - 2], "post 0x0501 wParam=0 lParam=0");
        const auto titles = answerer.titles();
        if (!c.dialogs.empty()) {
            EXPECT_EQ(titles, c.dialogs);
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
         "exit 0",
         {"Error", "Error"}},
        {"header cut short",
         [](Bytes& bytes) { bytes.resize(INSTALLER_SIZE_IN_BYTES + 1000); },
         "exit 0",
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
         "exit 0",
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

} // namespace
} // namespace winetest
