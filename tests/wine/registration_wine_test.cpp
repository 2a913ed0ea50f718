// The saver's registration traces with the real Win32 backend under Wine, in
// the 32-bit prefix: the uninstall entry, the Display Properties dialog of
// another program, the saver folder and the start-up shortcut.
#include <gtest/gtest.h>

#include "base/texts.h"
#include "platform/win32/win32_platform.h"
#include "system/crc32.h"
#include "system/display_properties.h"
#include "system/file_operations.h"
#include "system/path_names.h"
#include "system/saver_folder.h"
#include "system/saver_names.h"
#include "system/startup_shortcut.h"
#include "system/uninstall_entry.h"
#include "wine_test_support.h"

namespace {

using winetest::exists;
using winetest::TempFolder;
using winetest::writeFile;

const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string tag() {
    return std::to_string(GetCurrentProcessId());
}

// A value of a key, or "<missing>".
std::string registryValue(HKEY root, const std::string& key, const char* name, REGSAM view = 0) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return "<missing>";
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    if (read != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return buffer;
}

bool keyExists(HKEY root, const std::string& key, REGSAM view = 0) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

struct Registration : ::testing::Test {
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    std::string systemDir = withTrailingBackslash(win32.system.systemDirectory());
};

// ------------------------------------------------------------ uninstall entry

TEST_F(Registration, UninstallEntryWrittenAndRemoved) {
    const std::string title = "Vlx Registration Test " + tag();
    const std::string shortName = getCodedShortFilenameForScreensaver(platform, title);
    ASSERT_EQ(shortName.size(), 8u);
    ASSERT_EQ(registerUninstallEntry(platform, {}, systemDir, title, shortName), result::kOk);

    const std::string key = kUninstall + title;
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, key, "DisplayName"), title + " Screen Saver");
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, key, "UninstallString"),
              systemDir + shortName + ".scr /u");
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, key));

    EXPECT_EQ(removeUninstallEntry(platform, title), result::kOk);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstall));
    EXPECT_EQ(removeUninstallEntry(platform, title), result::kOk) << "gone already";
}

TEST_F(Registration, TitlesWithAnyBytesNameOneKey) {
    const std::string title = "AC/DC: \"Live\" *?<>| \xE9t\xE9 " + tag();
    ASSERT_EQ(registerUninstallEntry(platform, {}, systemDir, title, "acdc"), result::kOk);
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, kUninstall + title, "UninstallString"),
              systemDir + "acdc.scr /u");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstall + "AC"));
    EXPECT_EQ(removeUninstallEntry(platform, title), result::kOk);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstall + title));

    const std::string nested = "Vlx" + tag() + "\\Nested";
    EXPECT_EQ(registerUninstallEntry(platform, {}, systemDir, nested, "x"),
              result::kUninstallEntryNotWritten);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstall + "Vlx" + tag()));
    EXPECT_EQ(registerUninstallEntry(platform, {}, systemDir, "", "x"),
              result::kUninstallEntryNotWritten);
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName"), "<missing>");
}

TEST_F(Registration, Windows98WritesTheShortPath) {
    TempFolder folder("regprobe");
    const std::string probe = "regprobe_win98_" + tag() + ".exe";
    ASSERT_TRUE(CopyFileA((winetest::programFolder() + "registration_probe.exe").c_str(),
                          (folder.path() + probe).c_str(), FALSE));
    winetest::setWineVersionFor(probe, "win98");

    const std::string title = "vlx long saver name " + tag();
    const std::string engine = systemDir + title + ".scr";
    writeFile(engine, "engine");
    char shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(engine.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortPath), engine) << "the system has a short form";

    winetest::ChildProcess child(folder.path() + probe, "\"" + title + "\" \"" + title + "\"");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.wait(), 0u);
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, kUninstall + title, "UninstallString"),
              std::string(shortPath) + " /u");

    // An engine that is not there has no short form: the long path is written.
    DeleteFileA(engine.c_str());
    winetest::ChildProcess again(folder.path() + probe, "\"" + title + "\" \"" + title + "\"");
    ASSERT_TRUE(again.started());
    EXPECT_EQ(again.wait(), 0u);
    EXPECT_EQ(registryValue(HKEY_LOCAL_MACHINE, kUninstall + title, "UninstallString"),
              engine + " /u");
    EXPECT_EQ(removeUninstallEntry(platform, title), result::kOk);
}

// ------------------------------------------------------------ Display Properties

struct DisplayDialog {
    explicit DisplayDialog(const std::string& title)
        : ready("vlx_dialog_" + tag() + "_" + std::to_string(++count)),
          process(winetest::programFolder() + "display_dialog.exe",
                  "\"" + title + "\" vlx_dialog_" + tag() + "_" + std::to_string(count)) {}
    static inline int count = 0;
    winetest::NamedEvent ready;
    winetest::ChildProcess process;
};

// One test for all cases, so that no other test's dialogs are open meanwhile.
TEST_F(Registration, DisplayPropertiesDialogsAreClosedWithCancelOneAtATime) {
    {
        DisplayDialog display("Display Properties");
        ASSERT_TRUE(display.process.started());
        ASSERT_TRUE(display.ready.wait(20000));
        closeDisplayPropertiesWindow(win32.messaging, {});
        EXPECT_EQ(display.process.wait(10000), static_cast<std::uint32_t>(IDCANCEL));
    }
    {
        DisplayDialog fixed("Screen Saver Settings");
        DisplayDialog resource("Screensaver Settings");
        ASSERT_TRUE(fixed.ready.wait(20000));
        ASSERT_TRUE(resource.ready.wait(20000));
        closeDisplayPropertiesWindow(win32.messaging, {});
        EXPECT_EQ(resource.process.wait(10000), static_cast<std::uint32_t>(IDCANCEL));
        Sleep(300);
        EXPECT_TRUE(FindWindowA(nullptr, "Screen Saver Settings"))
            << "only the first in the search order is closed";
        closeDisplayPropertiesWindow(win32.messaging, {});
        EXPECT_EQ(fixed.process.wait(10000), static_cast<std::uint32_t>(IDCANCEL));
    }
    closeDisplayPropertiesWindow(win32.messaging, {}); // none open: nothing happens
}

// ------------------------------------------------------------ saver folder

// Quiet, so that no dialog waits: the questions are the unit tests' part.
TEST_F(Registration, SaverFolderReplacesAnOlderSaver) {
    TempFolder folder("saverroot");
    const std::string root = folder.path() + "Vellarmont\\";
    const std::string windowsDir =
        withTrailingBackslash(win32.system.environmentVariable("WINDIR").value_or("C:\\windows"));
    const std::string shortName = "Vlx" + tag();
    const std::string saver = root + shortName + "\\";
    const std::string engineInWindows = windowsDir + shortName + ".scr";
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(saver.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((saver + "media").c_str(), nullptr));
    writeFile(saver + "media\\a.jpg", "old picture");
    writeFile(saver + "saver.dat", "old settings");
    SetFileAttributesA((saver + "saver.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    writeFile(root + shortName + ".scr", "old engine");
    writeFile(engineInWindows, "older engine");

    EXPECT_EQ(prepareSaverFolder(platform, windowsDir, root, shortName, "Vlx Saver",
                                 text::kSaverAlreadyExists.text, false),
              result::kOk);
    EXPECT_FALSE(exists(engineInWindows));
    EXPECT_FALSE(exists(root + shortName + ".scr"));
    EXPECT_FALSE(exists(saver + "saver.dat"));
    EXPECT_FALSE(exists(saver + "media"));
    EXPECT_TRUE(win32.files.folderExists(saver));

    // A missing root is made, one level deep only.
    EXPECT_EQ(prepareSaverFolder(platform, windowsDir, folder.path() + "Fresh\\", shortName, "x",
                                 text::kSaverAlreadyExists.text, false),
              result::kOk);
    EXPECT_TRUE(win32.files.folderExists(folder.path() + "Fresh\\" + shortName));
    EXPECT_EQ(prepareSaverFolder(platform, windowsDir, folder.path() + "a\\b\\", shortName, "x",
                                 text::kSaverAlreadyExists.text, false),
              static_cast<ResultCode>(ERROR_PATH_NOT_FOUND));
}

// ------------------------------------------------------------ start-up shortcut

TEST_F(Registration, StartupShortcutOfThisExecutableIsDeleted) {
    const platform::SpecialFolderLookup startup = win32.system.specialFolderLocation(7);
    ASSERT_TRUE(startup.located);
    ASSERT_TRUE(startup.path && !startup.path->empty());
    std::uint32_t crc = 0;
    crc32OfText(win32.ui, win32.system.moduleFileName(), crc);
    const std::string mine = *startup.path + "\\" + std::to_string(crc) + "_installer.lnk";
    const std::string other = *startup.path + "\\" + std::to_string(crc + 1) + "_installer.lnk";
    writeFile(mine, "shortcut");
    writeFile(other, "another installer's shortcut");
    SetFileAttributesA(mine.c_str(), FILE_ATTRIBUTE_READONLY);

    removeStartupShortcut(platform);
    EXPECT_FALSE(exists(mine));
    EXPECT_TRUE(exists(other));
    DeleteFileA(other.c_str());
}

} // namespace
