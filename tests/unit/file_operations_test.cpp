#include "system/file_operations.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "system/installed_files.h"

namespace {

namespace attr = platform::attr;

struct FileOperations : ::testing::Test {
    fake::FakeFileSystem files;
};

TEST_F(FileOperations, DeleteOnceClearsReadOnlyAndReportsBusyFiles) {
    EXPECT_EQ(deleteFileOnce(files, "C:\\nothing.txt"), result::kOk);

    files.addFile("C:\\w\\plain.txt");
    EXPECT_EQ(deleteFileOnce(files, "C:\\w\\plain.txt"), result::kOk);
    EXPECT_FALSE(files.exists("C:\\w\\plain.txt"));

    files.addFile("C:\\w\\ro.txt", "x", attr::kReadOnly | attr::kHidden | attr::kSystem);
    EXPECT_EQ(deleteFileOnce(files, "C:\\w\\ro.txt"), result::kOk);
    EXPECT_FALSE(files.exists("C:\\w\\ro.txt"));

    files.addFile("C:\\w\\held.scr");
    files.holdOpen("C:\\w\\held.scr");
    EXPECT_EQ(deleteFileOnce(files, "C:\\w\\held.scr"), result::kFileBusy) << "-38 is for retries";
    EXPECT_EQ(files.deleteAttempts("C:\\w\\held.scr"), 2);

    files.addFolder("C:\\w\\folder");
    EXPECT_EQ(deleteFileOnce(files, "C:\\w\\folder"), result::kOk) << "a folder is no file";
    EXPECT_TRUE(files.exists("C:\\w\\folder"));
}

TEST_F(FileOperations, DeleteWithRetriesByExtension) {
    files.addFile("C:\\w\\a.SCR");
    files.holdOpen("C:\\w\\a.SCR");
    EXPECT_EQ(deleteFileWithRetries(files, "C:\\w\\a.SCR", 5), result::kSaverBusy);
    EXPECT_EQ(files.deleteAttempts("C:\\w\\a.SCR"), 10);

    files.addFile("C:\\w\\b.scr.dll");
    files.holdOpen("C:\\w\\b.scr.dll");
    EXPECT_EQ(deleteFileWithRetries(files, "C:\\w\\b.scr.dll", 1000), result::kFileBusy);
    EXPECT_EQ(files.deleteAttempts("C:\\w\\b.scr.dll"), 2000);

    files.addFile("C:\\w.scr\\noext");
    files.holdOpen("C:\\w.scr\\noext");
    EXPECT_EQ(deleteFileWithRetries(files, "C:\\w.scr\\noext", 1), result::kFileBusy)
        << "the folder's dot is no extension";

    EXPECT_EQ(deleteFileWithRetries(files, "C:\\w\\a.SCR", 0), result::kNotRemoved);
    EXPECT_EQ(deleteFileWithRetries(files, "C:\\none.scr", 0), result::kNotRemoved);
}

TEST_F(FileOperations, DeleteWithRetriesStopsWhenTheFileLetsGo) {
    files.addFile("C:\\w\\temp.dat");
    files.holdOpen("C:\\w\\temp.dat", 7); // released after 7 delete attempts
    EXPECT_EQ(deleteFileWithRetries(files, "C:\\w\\temp.dat", 100), result::kOk);
    EXPECT_FALSE(files.exists("C:\\w\\temp.dat"));
    EXPECT_EQ(files.deleteAttempts("C:\\w\\temp.dat"), 8);
}

TEST_F(FileOperations, FolderTreeDepthFirstWithReadOnlyParts) {
    files.addFile("C:\\t\\a.txt");
    files.addFile("C:\\t\\sub\\b.txt", "", attr::kReadOnly);
    files.addFile("C:\\t\\sub\\deeper\\c.txt", "", attr::kHidden | attr::kSystem);
    files.addFolder("C:\\t\\sub\\empty", attr::kReadOnly);
    files.addFolder("C:\\t\\ro", attr::kReadOnly);
    files.addFile("C:\\keep.txt");
    EXPECT_EQ(deleteFolderTree(files, "C:\\t\\"), result::kOk);
    EXPECT_FALSE(files.exists("C:\\t"));
    EXPECT_TRUE(files.exists("C:\\keep.txt"));
}

// A busy file keeps its place and its code is the result; the files after it
// go all the same.
TEST_F(FileOperations, FolderTreeGoesOnPastABusyFile) {
    files.addFile("C:\\t\\a.txt");
    files.addFile("C:\\t\\b.txt");
    files.addFile("C:\\t\\c.txt");
    files.holdOpen("C:\\t\\a.txt");
    files.holdOpen("C:\\t\\b.txt");
    EXPECT_EQ(deleteFolderTree(files, "C:\\t\\"), result::kFileBusy);
    EXPECT_TRUE(files.exists("C:\\t\\a.txt"));
    EXPECT_TRUE(files.exists("C:\\t\\b.txt"));
    EXPECT_FALSE(files.exists("C:\\t\\c.txt"));
}

TEST_F(FileOperations, FolderTreeReportsAFolderThatStays) {
    files.addFile("C:\\t\\sub\\held.txt");
    files.holdOpen("C:\\t\\sub\\held.txt");
    files.addFile("C:\\t\\z.txt");
    EXPECT_EQ(deleteFolderTree(files, "C:\\t\\"), result::kNotRemoved);
    EXPECT_FALSE(files.exists("C:\\t\\z.txt"));
    EXPECT_TRUE(files.exists("C:\\t\\sub\\held.txt"));
}

TEST_F(FileOperations, FolderTreeOnNothingOrEmptyPath) {
    EXPECT_EQ(deleteFolderTree(files, "C:\\not there\\"), result::kOk);
    EXPECT_EQ(deleteFolderTree(files, ""), result::kNotRemoved);
}

TEST_F(FileOperations, FolderTreeRemovesLinksWithoutFollowingThem) {
    files.addFile("C:\\precious\\data.txt");
    files.addFile("C:\\precious\\deeper\\more.txt", "", attr::kReadOnly);
    files.addFolder("C:\\t");
    files.addLink("C:\\t\\link", "C:\\precious");
    files.addFile("C:\\t\\sub\\own.txt");
    files.addLink("C:\\t\\sub\\deeplink", "C:\\precious\\deeper");
    ASSERT_TRUE(files.exists("C:\\t\\link\\data.txt")) << "the link shows its target";
    EXPECT_EQ(deleteFolderTree(files, "C:\\t\\"), result::kOk);
    EXPECT_FALSE(files.exists("C:\\t"));
    EXPECT_TRUE(files.exists("C:\\precious\\data.txt"));
    EXPECT_TRUE(files.exists("C:\\precious\\deeper\\more.txt"));
}

TEST_F(FileOperations, CopyCreatesTheFolderChainAndReplacesReadOnlyTargets) {
    files.addFile("C:\\src\\a.bin", "new bytes", attr::kReadOnly);
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\a.bin", "C:\\x\\y\\z\\a.bin", false),
              platform::kErrorNone);
    EXPECT_EQ(files.content("C:\\x\\y\\z\\a.bin"), "new bytes");
    EXPECT_EQ(files.attributesOf("C:\\src\\a.bin") & attr::kReadOnly, 0u)
        << "the source's attributes are cleared first";

    files.addFile("C:\\x\\old.bin", "old", attr::kReadOnly);
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\a.bin", "C:\\x\\old.bin", false),
              platform::kErrorNone);
    EXPECT_EQ(files.content("C:\\x\\old.bin"), "new bytes");
}

TEST_F(FileOperations, CopyFailuresCarryTheWindowsError) {
    files.addFile("C:\\src\\a.bin", "bytes");
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\none.bin", "C:\\x\\a.bin", false),
              platform::kErrorFileNotFound);
    files.addFile("C:\\x\\held.bin", "old");
    files.holdOpen("C:\\x\\held.bin");
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\a.bin", "C:\\x\\held.bin", false),
              platform::kErrorSharingViolation);
    EXPECT_EQ(files.content("C:\\x\\held.bin"), "old");
    files.addFolder("C:\\locked");
    files.denyAccess("C:\\locked");
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\a.bin", "C:\\locked\\a.bin", false),
              platform::kErrorAccessDenied);
    EXPECT_EQ(copyFileCreatingFolders(files, "C:\\src\\a.bin", "C:\\x\\held.bin", true),
              platform::kErrorFileExists);
}

TEST_F(FileOperations, ForceFoldersMakesEveryMissingLevel) {
    forceFolders(files, "C:\\a\\b\\c\\");
    EXPECT_TRUE(files.folderExists("C:\\a\\b\\c"));
    forceFolders(files, "C:\\a\\b\\c\\d");
    EXPECT_TRUE(files.folderExists("C:\\a\\b\\c\\d"));
    forceFolders(files, "Q:\\nowhere\\x\\"); // no such drive: nothing, and no endless recursion
    EXPECT_FALSE(files.exists("Q:\\nowhere"));
    forceFolders(files, "");
    forceFolders(files, "\\\\server\\share\\x\\");
}

TEST(FileVersion, FoundMissingAndUnreadable) {
    fake::FakeSystemInfo system;
    system.fileVersions["C:\\FLASH.OCX"] = {platform::VersionResource::Found,
                                            {0x00090000, 0x007C0002}};
    system.fileVersions["C:\\BROKEN.DLL"] = {platform::VersionResource::Unreadable, {1, 2}};
    std::uint32_t major = 0, third = 0;
    myGetFileVersion(system, "C:\\flash.ocx", major, third);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(third, 124u);

    major = 0, third = 0;
    myGetFileVersion(system, "C:\\plain.txt", major, third);
    EXPECT_EQ(major, 0u);
    EXPECT_EQ(third, 0u);

    major = 3, third = 4;
    myGetFileVersion(system, "C:\\broken.dll", major, third);
    EXPECT_EQ(major, 3u);
    EXPECT_EQ(third, 4u);
}

TEST(InstalledFileList, HoldsTenHundredAndTenThenRefuses) {
    InstalledFiles list;
    for (int i = 1; i <= 1010; ++i)
        ASSERT_TRUE(recordInstalledFile(list, "f" + std::to_string(i)));
    EXPECT_EQ(list.count, 1010u);
    EXPECT_EQ(list.paths[1], "f1");
    EXPECT_EQ(list.paths[1010], "f1010");
    EXPECT_FALSE(recordInstalledFile(list, "f1011"));
    EXPECT_EQ(list.count, 1010u);
    EXPECT_EQ(list.paths[1010], "f1010");
}

} // namespace

// A folder-tree deletion whose path came out wrong never reaches a drive, a
// system or profile folder, or a folder above one: it leaves everything and
// answers -1.
TEST(ProtectedFolders, TheDeletionRefusesThemAndWhatHoldsThem) {
    const std::vector<std::string> protectedFolders = {
        "C:\\WINDOWS\\", "C:\\WINDOWS\\system32\\", "C:\\Program Files\\",
        "C:\\Documents and Settings\\All Users\\Application Data\\Vellarmont\\",
        "C:\\Documents and Settings\\User\\"};
    const struct {
        std::string folder;
        bool refused;
    } cases[] = {
        {"C:\\", true},
        {"D:\\", true},
        {"\\\\server\\share\\", true},
        {"relative\\Aqua5405\\", true},
        {"", true},
        {"C:\\windows\\", true},
        {"C:\\WINDOWS\\SYSTEM32", true},
        {"C:\\Program Files\\", true},
        {"C:\\Documents and Settings\\", true},
        {"C:\\Documents and Settings\\All Users\\Application Data\\", true},
        {"C:\\Documents and Settings\\All Users\\Application Data\\Vellarmont\\", true},
        {"C:\\Documents and Settings\\User\\", true},
        {"C:\\Documents and Settings\\All Users\\Application Data\\Vellarmont\\Aqua5405\\", false},
        {"C:\\WINDOWS\\Aqua5405\\", false},
        {"\\\\server\\share\\Vlx1\\", false},
        {"C:\\Documents and Settings\\User\\Local Settings\\Vellarmont\\Vlx1\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(isProtectedFolder(c.folder, protectedFolders), c.refused);
        fake::FakeFileSystem files;
        const bool absolute = c.folder.size() > 2 && c.folder[1] == ':';
        if (absolute)
            files.addFile(c.folder + "inside.txt", "kept?");
        const ResultCode code = deleteFolderTree(files, c.folder, protectedFolders);
        if (c.refused) {
            EXPECT_EQ(code, result::kNotRemoved);
            if (absolute) {
                EXPECT_TRUE(files.exists(c.folder + "inside.txt"));
            }
        } else {
            EXPECT_EQ(code, result::kOk);
            EXPECT_FALSE(files.exists(c.folder + "inside.txt"));
        }
    }
}
