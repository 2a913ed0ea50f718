// The real Win32 backend under Wine in a 64-bit prefix, where the installer,
// a 32-bit program, runs under WOW64.
#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "system/file_operations.h"
#include "system/installer_paths.h"
#include "system/platform_checks.h"
#include "wine_test_support.h"

namespace {

struct Wow64 : ::testing::Test {
    void SetUp() override { WINETEST_NEEDS_WOW64(); }
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
};

TEST_F(Wow64, ClassIsSevenWhateverTheVersion) {
    EXPECT_TRUE(runningOnWin64(win32.system));
    EXPECT_EQ(GetOperatingSystem(win32.system), osclass::kWindows64);

    winetest::TempFolder folder("osclass64");
    const std::string name = "probe64_winxp.exe";
    ASSERT_TRUE(CopyFileA((winetest::programFolder() + "platform_probe.exe").c_str(),
                          (folder.path() + name).c_str(), FALSE));
    winetest::setWineVersionFor(name, "winxp");
    winetest::ChildProcess child(folder.path() + name, "osclass");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.wait(), 7u);
}

TEST_F(Wow64, CopyIntoTheNativeSystemFolder) {
    InstallerPaths paths;
    ASSERT_EQ(initInstallerPaths(platform, win32.system.moduleFileName(), paths), result::kOk);
    deleteHeldFolderTree(win32.files, paths.workDir, std::move(paths.workFolderHold));

    winetest::TempFolder folder("native");
    const std::string name = "vlxtest" + std::to_string(GetCurrentProcessId()) + ".scr";
    winetest::writeFile(folder.path() + name, "engine bytes");

    const std::string native = paths.nativeSystemDir + name;
    ASSERT_EQ(copyFileCreatingFolders(win32.files, folder.path() + name, native, false),
              platform::kErrorNone);
    EXPECT_EQ(winetest::readFile(native), "engine bytes");
    EXPECT_FALSE(winetest::exists(paths.systemDir + name))
        << "the 32-bit system folder is another folder";
    EXPECT_EQ(deleteFileOnce(win32.files, native), result::kOk);
    EXPECT_FALSE(winetest::exists(native));
}

} // namespace
