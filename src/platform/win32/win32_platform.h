// The real backend of the seam: ANSI Win32 calls.
#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/win32_library_loader.h"
#include "platform/win32/win32_messaging.h"
#include "platform/win32/win32_player_control.h"
#include "platform/win32/win32_registry.h"

namespace platform::win32 {

class Win32FileSystem final : public FileSystem {
  public:
    std::optional<std::uint32_t> attributes(const std::string& path) override;
    WinError setAttributes(const std::string& path, std::uint32_t attributes) override;
    WinError deleteFile(const std::string& path) override;
    WinError createFolder(const std::string& path) override;
    WinError removeFolder(const std::string& path) override;
    WinError copyFile(const std::string& source, const std::string& target,
                      bool failIfExists) override;
    WinError moveFile(const std::string& source, const std::string& target) override;
    WinError deleteAtRestart(const std::string& path) override;
    std::vector<FolderEntry> listFolder(const std::string& pattern) override;
    std::unique_ptr<File> openFile(const std::string& path, OpenMode mode,
                                   WinError& error) override;
    std::string shortPathName(const std::string& path) override;
    std::optional<std::uint64_t> fileSize(const std::string& path) override;
    std::unique_ptr<HeldPath> createHeldFolder(const std::string& path,
                                               const std::optional<FolderSecurity>& security,
                                               WinError& error) override;
    std::unique_ptr<HeldPath> holdFile(const std::string& path, WinError& error) override;
};

class Win32SystemInfo final : public SystemInfo {
  public:
    std::optional<std::string> environmentVariable(const std::string& name) override;
    std::string systemDirectory() override;
    std::optional<OsVersion> versionInfo() override;
    Wow64Answer queryWow64() override;
    std::string moduleFileName() override;
    SpecialFolderLookup specialFolderLocation(int csidl) override;
    std::optional<std::string> folderPath(int csidl) override;
    std::string lowerCase(std::string_view text) override;
    int compareText(std::string_view a, std::string_view b) override;
    std::string errorMessageText(std::int32_t code) override;
    FileVersionLookup fileVersion(const std::string& path) override;
    std::optional<std::string> loadString(unsigned id) override;
    bool runsElevated() override; // in win32_security.cpp

    // The window that owns the shell's folder queries (none by default).
    void setOwnerWindow(HWND owner) { owner_ = owner; }

  private:
    HWND owner_ = nullptr;
};

class Win32UserInterface final : public UserInterface {
  public:
    DialogButton messageDialog(DialogKind kind, const std::string& text,
                               const std::vector<DialogButton>& buttons) override;
    void messageBox(const std::string& text) override;
    void sleep(std::uint32_t milliseconds) override;
    void handleNextMessage() override;
    void bringApplicationToFront() override;
    void processPendingMessages() override;

    // The application's main window: owner of dialogs, brought to the front.
    void setMainWindow(HWND window) { mainWindow_ = window; }
    bool quitRequested() const { return quitRequested_; }

  private:
    HWND mainWindow_ = nullptr;
    bool quitRequested_ = false;
};

class Win32Shell final : public Shell {
  public:
    void openDocument(const std::string& path) override;
    std::int32_t startProgram(const std::string& program, const std::string& parameters,
                              ShowMode show) override;
    void setOwnerWindow(HWND owner) { owner_ = owner; }

  private:
    HWND owner_ = nullptr;
};

// The backends together, handed out as one Platform.
class Win32Platform {
  public:
    Win32FileSystem files;
    Win32SystemInfo system;
    Win32UserInterface ui;
    Win32LibraryLoader libraries;
    Win32Shell shell;
    Win32Registry registry;
    Win32Messaging messaging;
    Win32PlayerControls players;
    Platform platform() {
        return Platform{files, system, ui, libraries, shell, registry, messaging, players};
    }
};

} // namespace platform::win32
