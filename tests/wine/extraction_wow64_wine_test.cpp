// A package taken apart in the 64-bit prefix: the engine also goes to the
// 64-bit system folder.
#include <gtest/gtest.h>

#include "real_installation.h"
#include "sample_packages.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

TEST(Wow64Extraction, EngineLandsInBothSystemFolders) {
    WINETEST_NEEDS_WOW64();
    const std::string tag = std::to_string(GetCurrentProcessId());
    TempFolder folder("extract64");
    const PackageContent content =
        samplePackage("Wow Saver " + tag, "Wow" + tag + ".scr", "wowlib" + tag + ".bin", {});
    const Bytes installer = sampleInstaller(content);
    writeFile(folder.path() + "setup.exe", std::string(installer.begin(), installer.end()));

    RealInstallation installation(folder.path() + "setup.exe", kSampleStubSize);
    ASSERT_EQ(installation.prepare(), result::kOk);
    ASSERT_EQ(installation.context.osClass, osclass::kWindows64);
    ASSERT_EQ(installation.placeFiles(), result::kOk);
    const std::string engine(content.entries[6]->bytes.begin(), content.entries[6]->bytes.end());
    const auto& paths = installation.context.paths;
    EXPECT_EQ(readFile(paths.systemDir + "Wow" + tag + ".scr"), engine);
    EXPECT_EQ(readFile(paths.nativeSystemDir + "Wow" + tag + ".scr"), engine);
    DeleteFileA((paths.sharedSaverRoot + "wowlib" + tag + ".dll").c_str());
}

} // namespace
} // namespace winetest
