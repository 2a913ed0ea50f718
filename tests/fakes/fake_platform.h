// An in-memory Windows for the unit tests, with switches to inject faults:
// files held open by another program, read-only files and folders, access
// denied, failing system queries, dialogs answered from a script and clicks
// during a chosen pause.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_library_loader.h"
#include "fakes/fake_messaging.h"
#include "fakes/fake_player.h"
#include "fakes/fake_registry.h"
#include "platform/platform.h"

namespace fake {

constexpr platform::WinError kErrorDirectory = 267; // ERROR_DIRECTORY

// Raised where a run does what Windows would never answer: a wait for a
// message that never comes (the program would hang), a relative path. Not a
// std::exception, so that no error handling of the installer can swallow it.
struct WorldMisused {
    std::string what;
};

class FakeFileSystem final : public platform::FileSystem {
  public:
    FakeFileSystem();

    // Building the world. Parents are made as needed.
    void addFolder(const std::string& path, std::uint32_t attributes = platform::attr::kDirectory);
    void addFile(const std::string& path, const std::string& content = {},
                 std::uint32_t attributes = platform::attr::kArchive);
    // A junction to the folder `target`: listed as a linked folder, and paths
    // through it reach the target. Removing it removes the link alone.
    void addLink(const std::string& path, const std::string& target);

    // Faults.
    // Another program holds the file open without sharing: deletes, copies
    // onto it and opens fail with error 32, for `attempts` tries (-1: always).
    void holdOpen(const std::string& path, int attempts = -1);
    void release(const std::string& path);
    // A running program's file: it can be renamed, but deleting it fails with
    // 5 wherever it is moved.
    void runAsProgram(const std::string& path);
    // Every change of the path, and creating anything inside it, fails with 5.
    void denyAccess(const std::string& path);
    // Closing a handle of the file answers `error` (the handle goes all the same).
    void failClosing(const std::string& path, platform::WinError error);
    // Reads of the file deliver its first `afterBytes` bytes; a read beyond
    // them answers `error`.
    void failReading(const std::string& path, std::uint64_t afterBytes, platform::WinError error);

    // Looking at the world.
    bool exists(const std::string& path) const;
    std::string content(const std::string& path) const;
    std::uint32_t attributesOf(const std::string& path) const;
    int deleteAttempts(const std::string& path) const;
    // The security a folder was made with by createHeldFolder; nothing for
    // one that inherits its parent's.
    std::optional<platform::FolderSecurity> securityOf(const std::string& path) const;
    // Handles of the installer open on the file or folder, holds included.
    int openHandles(const std::string& path) const;
    std::vector<std::string> allPaths() const;
    // Paths given to deleteAtRestart, as keys, in the order given.
    const std::vector<std::string>& deletedAtRestart() const { return deletedAtRestart_; }
    // deleteAtRestart answers this (no administrator rights: kErrorAccessDenied).
    platform::WinError restartDeletionError = platform::kErrorNone;

    // The seam.
    std::optional<std::uint32_t> attributes(const std::string& path) override;
    platform::WinError setAttributes(const std::string& path, std::uint32_t attributes) override;
    platform::WinError deleteFile(const std::string& path) override;
    platform::WinError createFolder(const std::string& path) override;
    platform::WinError removeFolder(const std::string& path) override;
    platform::WinError copyFile(const std::string& source, const std::string& target,
                                bool failIfExists) override;
    platform::WinError moveFile(const std::string& source, const std::string& target) override;
    platform::WinError deleteAtRestart(const std::string& path) override;
    std::vector<platform::FolderEntry> listFolder(const std::string& pattern) override;
    std::unique_ptr<platform::File> openFile(const std::string& path, platform::OpenMode mode,
                                             platform::WinError& error) override;
    std::string shortPathName(const std::string& path) override;
    std::unique_ptr<platform::HeldPath>
    createHeldFolder(const std::string& path,
                     const std::optional<platform::FolderSecurity>& security,
                     platform::WinError& error) override;
    std::unique_ptr<platform::HeldPath> holdFile(const std::string& path,
                                                 platform::WinError& error) override;

    // Short forms that shortPathName answers, by upper-case long path; a
    // path without one has no short form.
    std::map<std::string, std::string> shortNames;

    // The handles open on one file, counted as Windows checks sharing.
    struct OpenHandles {
        int readers = 0;     // handles with read access
        int writers = 0;     // handles with write access
        int denyReaders = 0; // handles that do not share reading
        int denyWriters = 0; // handles that do not share writing
        platform::WinError closeError = platform::kErrorNone;
        std::uint64_t readableBytes = 0; // with readError: where reading fails
        platform::WinError readError = platform::kErrorNone;
        int count() const { return readers + writers; }
    };

  private:
    struct Node {
        std::string name; // as created, for listings
        bool isFolder = false;
        bool isLink = false;
        std::string target; // a link's target, as a key
        std::uint32_t attributes = 0;
        std::shared_ptr<std::string> data;
        std::shared_ptr<OpenHandles> handles = std::make_shared<OpenHandles>();
        int heldOpen = 0; // attempts left; -1 forever
        bool running = false;
        bool accessDenied = false;
        std::optional<platform::FolderSecurity> security;
    };
    static std::string key(const std::string& path);
    static std::string parentKey(const std::string& key);
    static std::string withoutTrailingSeparators(const std::string& path);
    // The key of what a path of the seam reaches: links on the way are
    // followed, the last part only when `followLast` is set. A relative path
    // is refused: Windows would take it from the current folder, which the
    // installer never means.
    std::string reached(const std::string& path, bool followLast = false) const;
    Node& place(const std::string& key, const std::string& name);
    Node* find(const std::string& path);
    const Node* find(const std::string& path) const;
    bool hasChildren(const std::string& key) const;
    platform::WinError checkCreatable(const std::string& key) const;
    static platform::WinError refuseWhileOpen(Node& node);

    std::map<std::string, Node> nodes_;
    std::vector<std::string> deletedAtRestart_;
    std::map<std::string, int> deleteAttempts_;
};

class FakeSystemInfo final : public platform::SystemInfo {
  public:
    FakeSystemInfo();

    std::map<std::string, std::string> environment; // names in upper case
    std::string systemDir = "C:\\WINDOWS\\system32";
    std::optional<platform::OsVersion> version = platform::OsVersion{2, 5, 1, "Service Pack 3"};
    platform::Wow64Answer wow64 = platform::Wow64Answer::No;
    std::string moduleName = "C:\\Downloads\\setup.exe";
    std::map<int, platform::SpecialFolderLookup> specialFolders;
    std::map<int, std::string> folderPaths; // SHGetFolderPathA answers
    std::map<std::int32_t, std::string> errorTexts;
    std::map<std::string, platform::FileVersionLookup> fileVersions; // by upper-case path
    std::map<unsigned, std::string> strings; // the program's string table; empty: none
    bool elevated = false;                   // runsElevated's answer
    int versionQueries = 0;
    int folderPathQueries = 0;

    void setSpecialFolder(int csidl, const std::string& path);

    std::optional<std::string> environmentVariable(const std::string& name) override;
    std::string systemDirectory() override { return systemDir; }
    std::optional<platform::OsVersion> versionInfo() override;
    platform::Wow64Answer queryWow64() override { return wow64; }
    std::string moduleFileName() override { return moduleName; }
    platform::SpecialFolderLookup specialFolderLocation(int csidl) override;
    std::optional<std::string> folderPath(int csidl) override;
    std::string lowerCase(std::string_view text) override;
    int compareText(std::string_view a, std::string_view b) override;
    std::string errorMessageText(std::int32_t code) override;
    platform::FileVersionLookup fileVersion(const std::string& path) override;
    std::optional<std::string> loadString(unsigned id) override {
        const auto found = strings.find(id);
        return found == strings.end() ? std::nullopt : std::optional(found->second);
    }
    bool runsElevated() override { return elevated; }
};

// Windows 95, 98 or ME of `version`, as the installer meets it: WINDIR but no
// SystemRoot, no IsWow64Process, the system folder C:\WINDOWS\SYSTEM, and no
// user profiles, so the application-data folders lie below the Windows
// folder. The local one is there; the common one is named but not made yet.
void useWindows9x(FakeFileSystem& files, FakeSystemInfo& system,
                  const platform::OsVersion& version);

class FakeUserInterface final : public platform::UserInterface {
  public:
    struct ShownDialog {
        platform::DialogKind kind;
        std::string text;
        std::vector<platform::DialogButton> buttons;
    };
    std::vector<ShownDialog> dialogs;
    std::deque<platform::DialogButton> answers; // the first button when none is queued
    std::vector<std::string> messageBoxes;
    std::uint64_t sleptMilliseconds = 0;
    int messagesHandled = 0;
    int queuedMessages = 0; // posted to the own queue, not handled yet
    int broughtToFront = 0;
    int pausesStarted = 0;
    int pendingMessagePasses = 0;

    bool timerFails = false; // no pause timer can be made

    // The pause timer of a view: fired by the next handled message that has
    // no scripted action. False when it cannot be made.
    bool armTimer(std::function<void()> fire);
    // Runs `action` as a message handled during the Nth pause (from 1), as a
    // click on a button would.
    void duringPause(int pause, std::function<void()> action);

    platform::DialogButton
    messageDialog(platform::DialogKind kind, const std::string& text,
                  const std::vector<platform::DialogButton>& buttons) override;
    void messageBox(const std::string& text) override { messageBoxes.push_back(text); }
    void sleep(std::uint32_t milliseconds) override { sleptMilliseconds += milliseconds; }
    void handleNextMessage() override;
    void bringApplicationToFront() override { ++broughtToFront; }
    void processPendingMessages() override { ++pendingMessagePasses; }

  private:
    std::function<void()> timer_;
    std::multimap<int, std::function<void()>> pauseActions_;
};

class FakeShell final : public platform::Shell {
  public:
    struct StartedProgram {
        std::string program;
        std::string parameters;
        platform::ShowMode show;
    };
    std::vector<std::string> openedDocuments;
    std::vector<StartedProgram> startedPrograms;
    // The shell's answers to the starts, in order; 42 (started) when none is queued.
    std::deque<std::int32_t> startAnswers;
    // Runs at every start that the shell answers above 32, as the program would.
    std::function<void(const StartedProgram&)> onStart;

    void openDocument(const std::string& path) override { openedDocuments.push_back(path); }
    std::int32_t startProgram(const std::string& program, const std::string& parameters,
                              platform::ShowMode show) override;
};

struct FakePlatform {
    FakeFileSystem files;
    FakeSystemInfo system;
    FakeUserInterface ui;
    FakeLibraryLoader libraries;
    FakeShell shell;
    FakeRegistry registry;
    FakeMessaging messaging;
    FakePlayerControls players;

    FakePlatform() {
        messaging.onOwnQueuePost = [this] { ++ui.queuedMessages; };
    }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    platform::Platform platform() {
        return platform::Platform{files, system,   ui,        libraries,
                                  shell, registry, messaging, players};
    }
};

} // namespace fake
