#include "system/startup_shortcut.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace {

const std::string kStartup = "C:\\Documents and Settings\\u\\Start Menu\\Programs\\Startup";

struct StartupShortcut : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::FakeFileSystem& files = fakes.files;

    StartupShortcut() {
        fakes.system.moduleName = "C:\\Downloads\\setup.exe"; // CRC-32 1989660035
        fakes.system.setSpecialFolder(7, kStartup);
    }
};

TEST_F(StartupShortcut, NamedByTheCrcOfTheExecutablePath) {
    EXPECT_EQ(startupShortcutName(fakes.ui, "C:\\Downloads\\setup.exe"),
              "1989660035_installer.lnk");
    EXPECT_EQ(startupShortcutName(fakes.ui, "D:\\Setup Files\\Aquarium Installer.exe"),
              "973176485_installer.lnk")
        << "no leading zeros";
}

TEST_F(StartupShortcut, DeletesOnlyTheRunningInstallersShortcut) {
    files.addFile(kStartup + "\\1989660035_installer.lnk", "", platform::attr::kReadOnly);
    files.addFile(kStartup + "\\973176485_installer.lnk");
    files.addFile(kStartup + "\\1989660035_installer.lnk.bak");
    removeStartupShortcut(platform);
    EXPECT_FALSE(files.exists(kStartup + "\\1989660035_installer.lnk"));
    EXPECT_TRUE(files.exists(kStartup + "\\973176485_installer.lnk"));
    EXPECT_TRUE(files.exists(kStartup + "\\1989660035_installer.lnk.bak"));

    removeStartupShortcut(platform); // nothing there: nothing to report
    files.holdOpen(kStartup + "\\973176485_installer.lnk");
    fakes.system.moduleName = "D:\\Setup Files\\Aquarium Installer.exe";
    removeStartupShortcut(platform);
    EXPECT_TRUE(files.exists(kStartup + "\\973176485_installer.lnk")) << "busy: left alone";
}

TEST_F(StartupShortcut, AnUnresolvedFolderDeletesNothing) {
    files.addFile("C:\\1989660035_installer.lnk");
    files.addFile("\\1989660035_installer.lnk");
    files.addFile(kStartup + "\\1989660035_installer.lnk");
    fakes.system.specialFolders[7] = platform::SpecialFolderLookup{false, std::nullopt};
    removeStartupShortcut(platform);
    fakes.system.specialFolders[7] = platform::SpecialFolderLookup{true, std::nullopt};
    removeStartupShortcut(platform);
    fakes.system.specialFolders[7] = platform::SpecialFolderLookup{true, std::string()};
    removeStartupShortcut(platform);
    EXPECT_TRUE(files.exists("C:\\1989660035_installer.lnk"));
    EXPECT_TRUE(files.exists(kStartup + "\\1989660035_installer.lnk"));
    EXPECT_EQ(files.deleteAttempts("\\1989660035_installer.lnk"), 0);
}

} // namespace
