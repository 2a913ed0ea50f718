// The real installer.exe, started by the logging launcher on installer files
// built with the packaging tool's builder, the stand-in player registered:
// the fixture of the tests that run it, and what they look at afterwards.
#pragma once

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <thread>

#include "payload/package_records.h"
#include "platform/win32/win32_platform.h"
#include "sample_packages.h"
#include "stand_in_support.h"
#include "system/file_operations.h"
#include "system/saver_names.h"
#include "system/uninstall_entry.h"
#include "window_driving.h"
#include "wine_test_support.h"

namespace winetest {

inline std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

inline std::string commandLine(const std::string& text) {
    return "copydata sender=window dwData=0 cbData=" + std::to_string(text.size() + 1) +
           " bytes=" + hex(text + std::string(1, '\0'));
}

inline std::string folderOf(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return std::string(path) + "\\";
}

inline std::string systemFolder() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\";
}

inline bool uninstallEntryExists(const std::string& title) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A damage that changes the package header as a record.
inline std::function<void(Bytes&)> changeHeader(std::function<void(InstallerHeader&)> change) {
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
// dialogs, Abort (or OK, the only button of some) in error dialogs and
// `confirm` (No unless given) in questions. It keeps their titles and texts.
class DialogAnswerer {
  public:
    explicit DialogAnswerer(int confirm = IDNO) : confirm_(confirm), thread_([this] { run(); }) {}
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer() { stop(); }
    std::vector<std::string> titles() {
        stop();
        return titles_;
    }
    std::vector<std::string> texts() {
        stop();
        return texts_;
    }

  private:
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    void run() {
        const struct {
            const char* title;
            int button;
        } answers[] = {
            {"Information", IDOK}, {"Error", IDABORT}, {"Error", IDOK}, {"Confirm", confirm_}};
        std::set<HWND> answered; // a dialog seen again while it closes counts once
        while (!stop_) {
            for (const auto& answer : answers) {
                const HWND dialog = FindWindowA("#32770", answer.title);
                // Answered once it is shown whole.
                if (!dialog || answered.count(dialog) || !IsWindowVisible(dialog) ||
                    !GetDlgItem(dialog, answer.button))
                    continue;
                answered.insert(dialog);
                titles_.push_back(answer.title);
                texts_.push_back(dialogText(dialog));
                SendDlgItemMessageA(dialog, answer.button, BM_CLICK, 0, 0);
            }
            Sleep(100);
        }
    }

    int confirm_;
    std::atomic<bool> stop_{false};
    std::vector<std::string> titles_;
    std::vector<std::string> texts_;
    std::thread thread_;
};

// The system libraries the installer loads or the system loads for it. Not
// version.dll: Wine's own user32 imports it (Windows' does not), so a copy
// beside any program loads at its start; InstallerImports covers it.
constexpr const char* kPlantedLibraries[] = {"comctl32", "riched20", "riched32",   "msftedit",
                                             "shfolder", "uxtheme",  "dwmapi",     "cryptbase",
                                             "userenv",  "profapi",  "propsys",    "apphelp",
                                             "oleacc",   "ntmarta",  "textshaping"};

struct Installer : ::testing::Test {
    Installer() {
        removeWorkFolders();
        standin::clearSwitches();
        standin::removePlayerRegistration();
        registered = standin::registerPlayer(standin::playerPath(standin::PlayerBuild::Default));
    }
    ~Installer() override {
        // A run that a failed check left behind ends before the clean-up.
        launcher.reset();
        endProcessesWithWindow(kInstallerFormClass);
        standin::removePlayerRegistration();
        removeSaver();
        removeWorkFolders();
    }
    // Work folders that an ended run could not remove.
    static void removeWorkFolders() {
        const std::string root = folderOf(CSIDL_LOCAL_APPDATA) + "Vellarmont\\";
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((root + "Vlx*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        platform::win32::Win32FileSystem files;
        do
            deleteFolderTree(files, root + found.cFileName + "\\");
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // The saver this fixture's packages install, removed again.
    void removeSaver() {
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

    // Builds the installer from the program image (the real one unless a
    // test changed it) and starts it under the launcher. `damage` changes the
    // finished installer file first.
    void start(const PackageContent& content, const std::vector<std::string>& arguments = {},
               const std::function<void(Bytes&)>& damage = {}) {
        const std::string image = readFile(programImage);
        Bytes bytes =
            buildInstaller(Bytes(image.begin(), image.end()), INSTALLER_SIZE_IN_BYTES, content, {});
        if (damage)
            damage(bytes);
        const std::string setup = folder.path() + "Setup " + tag + ".exe";
        writeFile(setup, std::string(bytes.begin(), bytes.end()));
        DeleteFileA((folder.path() + "launcher.log").c_str());
        std::string line = "\"" + folder.path() + "launcher.log\" \"" + setup + "\"";
        for (const std::string& argument : arguments)
            line += " " + argument;
        launcher = std::make_unique<ChildProcess>(programFolder() + "launcher.exe", line);
        EXPECT_TRUE(launcher->started());
    }
    // Waits for the launcher's end; its log lines, the last one "exit N".
    std::vector<std::string> finish() {
        EXPECT_EQ(launcher->wait(90000), 0u);
        launcher.reset();
        std::vector<std::string> lines;
        std::string log = readFile(folder.path() + "launcher.log");
        for (std::size_t end; (end = log.find('\n')) != std::string::npos; log.erase(0, end + 1))
            lines.push_back(log.substr(0, end));
        return lines;
    }
    std::vector<std::string> run(const PackageContent& content,
                                 const std::vector<std::string>& arguments = {},
                                 const std::function<void(Bytes&)>& damage = {}) {
        start(content, arguments, damage);
        return finish();
    }

    // planted_library.dll beside the installer files under each name of
    // kPlantedLibraries, preferred by Wine to its own there.
    void plantSystemLibraries() {
        for (const char* name : kPlantedLibraries)
            ASSERT_TRUE(CopyFileA((programFolder() + "planted_library.dll").c_str(),
                                  (folder.path() + name + ".dll").c_str(), FALSE));
        preferNativeLibrariesFor("Setup " + tag + ".exe",
                                 {std::begin(kPlantedLibraries), std::end(kPlantedLibraries)});
    }
    std::vector<std::string> loadedPlantedLibraries() const {
        std::vector<std::string> loaded;
        for (const char* name : kPlantedLibraries)
            if (exists(folder.path() + name + ".dll.loaded"))
                loaded.push_back(name);
        return loaded;
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
        EXPECT_EQ(workFolderFiles(), std::vector<std::string>{}) << "a work folder is left";
    }
    // "FOLDER\FILE" of every file in a work folder, and "FOLDER\" for each
    // work folder.
    static std::vector<std::string> workFolderFiles() {
        const std::string root = folderOf(CSIDL_LOCAL_APPDATA) + "Vellarmont\\";
        std::vector<std::string> names;
        WIN32_FIND_DATAA folder;
        const HANDLE folders = FindFirstFileA((root + "Vlx*").c_str(), &folder);
        if (folders == INVALID_HANDLE_VALUE)
            return names;
        do {
            names.push_back(std::string(folder.cFileName) + "\\");
            WIN32_FIND_DATAA file;
            const HANDLE files = FindFirstFileA((root + folder.cFileName + "\\*").c_str(), &file);
            if (files == INVALID_HANDLE_VALUE)
                continue;
            do {
                if (!(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    names.push_back(std::string(folder.cFileName) + "\\" + file.cFileName);
            } while (FindNextFileA(files, &file));
            FindClose(files);
        } while (FindNextFileA(folders, &folder));
        FindClose(folders);
        return names;
    }

    DWORD registered = 1;
    std::string programImage = programFolder() + "installer.exe";
    std::string tag = std::to_string(GetCurrentProcessId());
    std::string title = "Reef " + tag + " Screen Saver";
    std::string engine = "Reef" + tag + ".scr";
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    std::string shortName = getCodedShortFilenameForScreensaver(platform, title);
    TempFolder folder{"installer"};
    std::unique_ptr<ChildProcess> launcher;
};

} // namespace winetest
