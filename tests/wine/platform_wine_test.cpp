// The real Win32 backend under Wine, in a 32-bit prefix.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "system/file_operations.h"
#include "system/installer_paths.h"
#include "system/platform_checks.h"
#include "system/saver_names.h"
#include "wine_test_support.h"

namespace {

using winetest::exists;
using winetest::TempFolder;
using winetest::writeFile;

struct RealPlatform : ::testing::Test {
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
};

// ------------------------------------------------------------ platform checks

TEST(OperatingSystem, ClassForEveryPrefixVersion) {
    const struct {
        const char* version;
        std::uint32_t expected;
    } cases[] = {
        {"win95", 0}, {"win98", 2}, {"winme", 3},          {"nt40", 4},
        {"win2k", 5}, {"winxp", 6}, {"win7", 0xFFFFFFFFu},
    };
    TempFolder folder("osclass");
    const std::string probe = winetest::programFolder() + "platform_probe.exe";
    for (const auto& c : cases) {
        const std::string name = std::string("probe_") + c.version + ".exe";
        ASSERT_TRUE(CopyFileA(probe.c_str(), (folder.path() + name).c_str(), FALSE));
        winetest::setWineVersionFor(name, c.version);
        winetest::ChildProcess child(folder.path() + name, "osclass");
        ASSERT_TRUE(child.started()) << name;
        EXPECT_EQ(child.wait(), c.expected) << c.version;
    }
}

TEST_F(RealPlatform, ThirtyTwoBitPrefixIsNoWow64) {
    EXPECT_FALSE(runningOnWin64(win32.system));
    EXPECT_EQ(win32.system.queryWow64(), platform::Wow64Answer::No);
}

// ------------------------------------------------------------ installer paths

TEST_F(RealPlatform, InstallerPathsAndAFreshWorkFolder) {
    InstallerPaths paths;
    ASSERT_EQ(initInstallerPaths(platform, win32.system.moduleFileName(), paths), result::kOk);
    for (const std::string* path : {&paths.windowsDir, &paths.systemDir, &paths.nativeSystemDir,
                                    &paths.sharedSaverRoot, &paths.exeDir, &paths.workDir}) {
        ASSERT_FALSE(path->empty());
        EXPECT_EQ(path->back(), '\\') << *path;
    }
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(_stricmp(paths.windowsDir.c_str(), (std::string(windows) + "\\").c_str()), 0);
    EXPECT_EQ(paths.exeDir, winetest::programFolder());
    EXPECT_NE(paths.nativeSystemDir.find("\\Sysnative\\"), std::string::npos);
    EXPECT_NE(paths.sharedSaverRoot.find("\\Vellarmont\\"), std::string::npos);
    EXPECT_NE(paths.workDir.find("\\Vellarmont\\Vlx"), std::string::npos);
    EXPECT_TRUE(win32.files.folderExists(paths.workDir));
    // Held: nobody can rename it away, not even this process.
    const std::string moved = paths.workDir.substr(0, paths.workDir.size() - 1) + "moved";
    EXPECT_FALSE(MoveFileA(paths.workDir.c_str(), moved.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(deleteHeldFolderTree(win32.files, paths.workDir, std::move(paths.workFolderHold)),
              result::kOk);
    EXPECT_FALSE(exists(paths.workDir));
}

TEST_F(RealPlatform, SpecialFoldersResolve) {
    for (int id :
         {csidl::kPersonal, csidl::kAppData, csidl::kLocalAppData, csidl::kCommonAppData}) {
        EXPECT_FALSE(getSpecialFolderPath(win32.system, id).empty()) << id;
    }
    ASSERT_TRUE(win32.system.folderPath(csidl::kAppData).has_value());
    EXPECT_EQ(*win32.system.folderPath(csidl::kAppData),
              getSpecialFolderPath(win32.system, csidl::kAppData));
}

// Answers the local application-data folder with a sandbox, so that the
// work-folder numbering starts from a known state.
class SandboxedSystem final : public platform::SystemInfo {
  public:
    SandboxedSystem(platform::SystemInfo& real, std::string localAppData)
        : real_(real), local_(std::move(localAppData)) {}
    std::optional<std::string> environmentVariable(const std::string& n) override {
        return real_.environmentVariable(n);
    }
    std::string systemDirectory() override { return real_.systemDirectory(); }
    std::optional<platform::OsVersion> versionInfo() override { return real_.versionInfo(); }
    platform::Wow64Answer queryWow64() override { return real_.queryWow64(); }
    std::string moduleFileName() override { return real_.moduleFileName(); }
    platform::SpecialFolderLookup specialFolderLocation(int id) override {
        if (id == csidl::kLocalAppData)
            return {true, local_};
        return real_.specialFolderLocation(id);
    }
    std::optional<std::string> folderPath(int id) override { return real_.folderPath(id); }
    std::string lowerCase(std::string_view t) override { return real_.lowerCase(t); }
    int compareText(std::string_view a, std::string_view b) override {
        return real_.compareText(a, b);
    }
    std::string errorMessageText(std::int32_t c) override { return real_.errorMessageText(c); }
    platform::FileVersionLookup fileVersion(const std::string& p) override {
        return real_.fileVersion(p);
    }
    std::optional<std::string> loadString(unsigned id) override { return real_.loadString(id); }
    bool runsElevated() override { return real_.runsElevated(); }

  private:
    platform::SystemInfo& real_;
    std::string local_;
};

TEST_F(RealPlatform, WorkFolderSkipsExistingVlx1AndVlx2) {
    TempFolder local("localappdata");
    SandboxedSystem sandbox(win32.system, local.path() + "Local");
    platform::Platform sandboxed{win32.files, sandbox,        win32.ui,        win32.libraries,
                                 win32.shell, win32.registry, win32.messaging, win32.players};
    const std::string base = local.path() + "Local\\Vellarmont\\";
    ASSERT_TRUE(CreateDirectoryA((local.path() + "Local").c_str(), nullptr));

    std::string out;
    ASSERT_EQ(makeUniqueWorkFolder(sandboxed, "Vlx", out), result::kOk);
    EXPECT_EQ(out, base + "Vlx1\\") << "the company folder is made on the way";
    ASSERT_TRUE(CreateDirectoryA((base + "Vlx2").c_str(), nullptr));
    ASSERT_EQ(makeUniqueWorkFolder(sandboxed, "Vlx", out), result::kOk);
    EXPECT_EQ(out, base + "Vlx3\\");
    EXPECT_TRUE(win32.files.folderExists(base + "Vlx3"));
}

// ------------------------------------------------------------ file operations

TEST_F(RealPlatform, DeleteOnceRemovesAReadOnlyFile) {
    TempFolder folder("readonly");
    const std::string path = folder.path() + "old.scr";
    writeFile(path, "old engine");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_FALSE(DeleteFileA(path.c_str())) << "a read-only file resists a plain delete";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(deleteFileOnce(win32.files, path), result::kOk);
    EXPECT_FALSE(exists(path));
}

TEST_F(RealPlatform, FileHeldOpenByAnotherProcess) {
    TempFolder folder("sharing");
    const std::string tag = std::to_string(GetCurrentProcessId());
    for (const char* name : {"temp.dat", "Aqua5405.SCR"}) {
        const std::string path = folder.path() + name;
        winetest::NamedEvent ready("vlx_ready_" + tag), release("vlx_release_" + tag);
        winetest::ChildProcess holder(winetest::programFolder() + "file_holder.exe",
                                      "\"" + path + "\" vlx_ready_" + tag + " vlx_release_" + tag);
        ASSERT_TRUE(holder.started());
        ASSERT_TRUE(ready.wait(20000)) << "the holder did not open " << path;

        const bool saver = std::string(name).find(".SCR") != std::string::npos;
        EXPECT_EQ(deleteFileWithRetries(win32.files, path, 3),
                  saver ? result::kSaverBusy : result::kFileBusy)
            << name;
        EXPECT_EQ(deleteFileOnce(win32.files, path), result::kFileBusy) << name;
        writeFile(folder.path() + "source.bin", "new");
        EXPECT_EQ(copyFileCreatingFolders(win32.files, folder.path() + "source.bin", path, false),
                  platform::kErrorSharingViolation);
        EXPECT_TRUE(exists(path));

        release.set();
        EXPECT_EQ(holder.wait(), 0u);
        EXPECT_EQ(deleteFileWithRetries(win32.files, path, 3), result::kOk) << name;
        EXPECT_FALSE(exists(path));
    }
}

TEST_F(RealPlatform, DeleteFolderTreeOnNestedFolders) {
    TempFolder folder("tree");
    const std::string root = folder.path() + "saver\\";
    for (const char* sub : {"saver", "saver\\a", "saver\\a\\b", "saver\\a\\b\\c", "saver\\ro"})
        ASSERT_TRUE(CreateDirectoryA((folder.path() + sub).c_str(), nullptr));
    writeFile(root + "top.txt", "1");
    writeFile(root + "a\\b\\c\\deep.bin", "2");
    writeFile(root + "a\\hidden.dat", "3");
    SetFileAttributesA((root + "a\\hidden.dat").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((root + "ro").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(deleteFolderTree(win32.files, root), result::kOk);
    EXPECT_FALSE(exists(root));
    EXPECT_TRUE(exists(folder.path()));
    EXPECT_EQ(deleteFolderTree(win32.files, root), result::kOk) << "nothing there is fine";
}

TEST_F(RealPlatform, CopyCreatesFoldersAndReplacesAnOlderCopy) {
    TempFolder folder("copy");
    writeFile(folder.path() + "new.dll", "new library");
    const std::string target = folder.path() + "x\\y\\z\\impborl.dll";
    EXPECT_EQ(copyFileCreatingFolders(win32.files, folder.path() + "new.dll", target, false),
              platform::kErrorNone);
    EXPECT_EQ(winetest::readFile(target), "new library");

    writeFile(folder.path() + "newer.dll", "newer");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(copyFileCreatingFolders(win32.files, folder.path() + "newer.dll", target, false),
              platform::kErrorNone);
    EXPECT_EQ(winetest::readFile(target), "newer");
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_EQ(copyFileCreatingFolders(win32.files, folder.path() + "missing.dll", target, false),
              platform::kErrorFileNotFound);
}

TEST_F(RealPlatform, FileReadWriteSeek) {
    TempFolder folder("io");
    platform::WinError error = 1;
    auto out =
        win32.files.openFile(folder.path() + "f.bin", platform::OpenMode::CreateAlways, error);
    ASSERT_TRUE(out) << error;
    std::uint32_t written = 0;
    ASSERT_EQ(out->write("0123456789", 10, written), platform::kErrorNone);
    out.reset();
    auto in =
        win32.files.openFile(folder.path() + "f.bin", platform::OpenMode::ReadExisting, error);
    ASSERT_TRUE(in);
    std::uint64_t position = 0, size = 0;
    ASSERT_EQ(in->size(size), platform::kErrorNone);
    EXPECT_EQ(size, 10u);
    ASSERT_EQ(in->seek(-4, platform::SeekOrigin::End, position), platform::kErrorNone);
    EXPECT_EQ(position, 6u);
    char buffer[8] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(in->read(buffer, 8, got), platform::kErrorNone);
    EXPECT_EQ(std::string(buffer, got), "6789");
    EXPECT_FALSE(
        win32.files.openFile(folder.path() + "none.bin", platform::OpenMode::ReadExisting, error));
    EXPECT_EQ(error, platform::kErrorFileNotFound);
}

// ------------------------------------------------------------ versions and names

TEST_F(RealPlatform, FileVersionOfAResourceAndOfAPlainFile) {
    std::uint32_t major = 0, third = 0;
    myGetFileVersion(win32.system, win32.system.moduleFileName(), major, third);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(third, 124u);

    TempFolder folder("version");
    writeFile(folder.path() + "plain.txt", "no resource");
    major = 0, third = 0;
    myGetFileVersion(win32.system, folder.path() + "plain.txt", major, third);
    EXPECT_EQ(major, 0u);
    EXPECT_EQ(third, 0u);
}

TEST_F(RealPlatform, SaverNamesWithTheSystemsCaseRules) {
    EXPECT_EQ(getCodedShortFilenameForScreensaver(platform, "Aquarium Screen Saver"), "Aqua5405");
    EXPECT_EQ(getCodedShortFilenameForScreensaver(platform, "My Best Saver"), "My B6947");
    EXPECT_EQ(getCodedShortFilenameForScreensaver(platform, "aquarium screen saver"),
              "aquarium screen saver");
    EXPECT_EQ(getCodedShortFilenameForScreensaver(platform, "Sea Life"), "Sea Life");
}

// ------------------------------------------------------------ dialogs

struct DialogSeen {
    std::string title, text;
    std::vector<std::string> captions;
};

// Waits for a dialog titled `title`, notes what it shows, presses `button`.
void pressWhenShown(const char* title, int button, DialogSeen& seen, std::atomic<bool>& done) {
    for (int i = 0; i < 400 && !done; ++i) {
        const HWND dialog = FindWindowA("#32770", title);
        if (dialog) {
            char buffer[2048];
            GetWindowTextA(dialog, buffer, sizeof buffer);
            seen.title = buffer;
            for (HWND child = GetWindow(dialog, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                char className[32];
                GetClassNameA(child, className, sizeof className);
                GetWindowTextA(child, buffer, sizeof buffer);
                if (_stricmp(className, "Button") == 0)
                    seen.captions.push_back(buffer);
                else if (buffer[0])
                    seen.text = buffer;
            }
            SendDlgItemMessageA(dialog, button, BM_CLICK, 0, 0);
            return;
        }
        Sleep(25);
    }
}

TEST_F(RealPlatform, ErrorDialogWithAbortButton) {
    DialogSeen seen;
    std::atomic<bool> done{false};
    std::thread presser(pressWhenShown, "Error", IDABORT, std::ref(seen), std::ref(done));
    const auto pressed = win32.ui.messageDialog(platform::DialogKind::Error,
                                                "Installation Error: C:\\x.dat\r\n\r\nProblem",
                                                {platform::DialogButton::Abort});
    done = true;
    presser.join();
    EXPECT_EQ(pressed, platform::DialogButton::Abort);
    EXPECT_EQ(seen.title, "Error");
    EXPECT_EQ(seen.text, "Installation Error: C:\\x.dat\r\n\r\nProblem");
    EXPECT_EQ(seen.captions, std::vector<std::string>{"&Abort"});
}

TEST_F(RealPlatform, ConfirmationDialogReturnsThePressedButton) {
    DialogSeen seen;
    std::atomic<bool> done{false};
    std::thread presser(pressWhenShown, "Confirm", IDCANCEL, std::ref(seen), std::ref(done));
    const auto pressed = win32.ui.messageDialog(
        platform::DialogKind::Confirmation, "Aquarium screen saver already exists. Overwrite?",
        {platform::DialogButton::Ok, platform::DialogButton::Cancel});
    done = true;
    presser.join();
    EXPECT_EQ(pressed, platform::DialogButton::Cancel);
    EXPECT_EQ(seen.captions, (std::vector<std::string>{"OK", "Cancel"}));
}

} // namespace
