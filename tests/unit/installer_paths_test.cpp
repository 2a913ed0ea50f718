#include "system/installer_paths.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "system/platform_checks.h"

namespace {

const std::string kLocal = "C:\\Documents and Settings\\User\\Local Settings\\Application Data";
const std::string kCommon = "C:\\Documents and Settings\\All Users\\Application Data";

struct Paths : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    InstallerPaths paths;
    void SetUp() override {
        fakes.files.addFolder(kLocal);
        fakes.files.addFolder(kCommon);
        fakes.files.addFolder("C:\\WINDOWS\\system32");
    }
};

TEST_F(Paths, EveryPathOnACleanMachine) {
    ASSERT_EQ(initInstallerPaths(platform, "C:\\Downloads\\setup.exe", paths), result::kOk);
    EXPECT_EQ(paths.windowsDir, "C:\\WINDOWS\\");
    EXPECT_EQ(paths.systemDir, "C:\\WINDOWS\\system32\\");
    EXPECT_EQ(paths.nativeSystemDir, "C:\\WINDOWS\\Sysnative\\");
    EXPECT_EQ(paths.sharedSaverRoot, kCommon + "\\Vellarmont\\");
    EXPECT_EQ(paths.exeDir, "C:\\Downloads\\");
    EXPECT_EQ(paths.workDir, kLocal + "\\Vellarmont\\Vlx1\\");
    EXPECT_TRUE(fakes.files.folderExists(paths.workDir));
    EXPECT_FALSE(fakes.files.exists(paths.sharedSaverRoot)) << "only named here";
}

TEST_F(Paths, TrailingBackslashesAreNotDoubled) {
    fakes.system.environment["WINDIR"] = "D:\\WIN\\";
    fakes.system.environment["SYSTEMROOT"] = "D:\\WINNT\\";
    fakes.system.systemDir = "D:\\WIN\\SYSTEM\\";
    fakes.system.setSpecialFolder(csidl::kCommonAppData, "C:\\ProgramData\\");
    ASSERT_EQ(initInstallerPaths(platform, "E:\\setup.exe", paths), result::kOk);
    EXPECT_EQ(paths.windowsDir, "D:\\WIN\\");
    EXPECT_EQ(paths.systemDir, "D:\\WIN\\SYSTEM\\");
    EXPECT_EQ(paths.nativeSystemDir, "D:\\WINNT\\Sysnative\\");
    EXPECT_EQ(paths.sharedSaverRoot, "C:\\ProgramData\\Vellarmont\\");
    EXPECT_EQ(paths.exeDir, "E:\\");
}

TEST_F(Paths, MissingSystemFoldersRefuseTheStart) {
    struct Fault {
        const char* what;
        std::function<void(fake::FakeSystemInfo&)> apply;
    };
    const Fault faults[] = {
        {"WINDIR unset", [](auto& s) { s.environment.erase("WINDIR"); }},
        {"WINDIR empty", [](auto& s) { s.environment["WINDIR"] = ""; }},
        {"no system directory", [](auto& s) { s.systemDir.clear(); }},
        {"no local application data",
         [](auto& s) { s.specialFolders.erase(csidl::kLocalAppData); }},
    };
    for (const Fault& fault : faults) {
        fake::FakePlatform local;
        local.files.addFolder(kLocal);
        fault.apply(local.system);
        auto p = local.platform();
        InstallerPaths result;
        EXPECT_EQ(initInstallerPaths(p, "C:\\x\\setup.exe", result), result::kSystemFolderUnknown)
            << fault.what;
        EXPECT_TRUE(result.workDir.empty()) << fault.what;
        EXPECT_FALSE(local.files.exists(kLocal + "\\Vellarmont")) << fault.what;
        EXPECT_FALSE(local.files.exists("C:\\Vellarmont")) << fault.what;
    }
    EXPECT_EQ(initInstallerPaths(platform, "setup.exe", paths), result::kSystemFolderUnknown)
        << "an executable path without a folder";
}

TEST_F(Paths, SpecialFolderFallbackOnlyForAppDataAndPersonal) {
    fakes.system.specialFolders.clear();
    fakes.system.folderPaths[csidl::kAppData] = "C:\\Roaming";
    fakes.system.folderPaths[csidl::kPersonal] = "C:\\Docs";
    fakes.system.folderPaths[csidl::kLocalAppData] = "C:\\Local";
    EXPECT_EQ(getSpecialFolderPath(fakes.system, csidl::kAppData), "C:\\Roaming");
    EXPECT_EQ(getSpecialFolderPath(fakes.system, csidl::kPersonal), "C:\\Docs");
    EXPECT_EQ(getSpecialFolderPath(fakes.system, csidl::kLocalAppData), "");
    EXPECT_EQ(fakes.system.folderPathQueries, 2);

    // A location that was found but not converted gets no second try.
    fakes.system.specialFolders[csidl::kAppData] = {true, std::nullopt};
    EXPECT_EQ(getSpecialFolderPath(fakes.system, csidl::kAppData), "");
    EXPECT_EQ(fakes.system.folderPathQueries, 2);
}

TEST_F(Paths, WorkFolderSkipsExistingCandidates) {
    const std::string base = kLocal + "\\Vellarmont\\";
    fakes.files.addFolder(base + "Vlx1");
    fakes.files.addFolder(base + "Vlx2");
    fakes.files.addFile(base + "Vlx3", "a file, not a folder");
    std::string out;
    ASSERT_EQ(makeUniqueWorkFolder(platform, "Vlx", out), result::kOk);
    EXPECT_EQ(out, base + "Vlx4\\");
    ASSERT_EQ(makeUniqueWorkFolder(platform, "FlashPanel", out), result::kOk);
    EXPECT_EQ(out, base + "FlashPanel1\\");
}

TEST_F(Paths, WorkFolderFailureReportsTheLastError) {
    const std::string base = kLocal + "\\Vellarmont\\";
    fakes.files.addFolder(base);
    fakes.files.denyAccess(base);
    std::string out;
    EXPECT_EQ(makeUniqueWorkFolder(platform, "Vlx", out), platform::kErrorAccessDenied);
    EXPECT_EQ(out, "") << "no folder was made";
}

TEST_F(Paths, WorkFolderTriesCandidatesUpTo1000) {
    const std::string base = kLocal + "\\Vellarmont\\";
    for (int n = 1; n <= 999; ++n)
        fakes.files.addFolder(base + "Vlx" + std::to_string(n));
    std::string out;
    ASSERT_EQ(makeUniqueWorkFolder(platform, "Vlx", out), result::kOk);
    EXPECT_EQ(out, base + "Vlx1000\\");
    EXPECT_EQ(makeUniqueWorkFolder(platform, "Vlx", out), platform::kErrorAlreadyExists);
    EXPECT_EQ(out, "") << "no folder was made";
    EXPECT_FALSE(fakes.files.exists(base + "Vlx1001"));
}

TEST_F(Paths, LongEnvironmentValuesAreKeptWhole) {
    const std::string longFolder = "C:\\" + std::string(5000, 'w');
    fakes.system.environment["WINDIR"] = longFolder;
    ASSERT_EQ(initInstallerPaths(platform, "C:\\Downloads\\setup.exe", paths), result::kOk);
    EXPECT_EQ(paths.windowsDir, longFolder + "\\");
}

// The start on Windows 95, 98 and ME: no SystemRoot, and a common
// application-data folder that is not made yet or that the shell does not know.
TEST(Windows9x, StartsWithoutSystemRootOrCommonApplicationData) {
    const std::string common = "C:\\WINDOWS\\All Users\\Application Data";
    struct Case {
        platform::OsVersion version;
        OperatingSystemClass osClass;
        bool commonKnown;
    };
    const Case cases[] = {
        {{1, 4, 0, ""}, osclass::kWindows95, true},
        {{1, 4, 10, " "}, osclass::kWindows98, true},
        {{1, 4, 10, " A "}, osclass::kWindows98SecondEdition, true},
        {{1, 4, 90, " "}, osclass::kWindowsMe, true},
        {{1, 4, 0, ""}, osclass::kWindows95, false},
        {{1, 4, 90, " "}, osclass::kWindowsMe, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.osClass) + (c.commonKnown ? "" : ", no common folder"));
        fake::FakePlatform fakes;
        fake::useWindows9x(fakes.files, fakes.system, c.version);
        if (!c.commonKnown)
            fakes.system.specialFolders.erase(csidl::kCommonAppData);
        platform::Platform platform = fakes.platform();
        EXPECT_EQ(GetOperatingSystem(fakes.system), c.osClass);
        EXPECT_TRUE(isWin9xFamily(fakes.system));

        InstallerPaths paths;
        ASSERT_EQ(initInstallerPaths(platform, "C:\\Downloads\\setup.exe", paths), result::kOk);
        EXPECT_EQ(paths.windowsDir, "C:\\WINDOWS\\");
        EXPECT_EQ(paths.systemDir, "C:\\WINDOWS\\SYSTEM\\");
        EXPECT_EQ(paths.nativeSystemDir, "");
        EXPECT_EQ(paths.sharedSaverRoot, c.commonKnown ? common + "\\Vellarmont\\" : "");
        EXPECT_EQ(paths.workDir,
                  "C:\\WINDOWS\\Local Settings\\Application Data\\Vellarmont\\Vlx1\\");
        EXPECT_TRUE(fakes.files.folderExists(paths.workDir));
        EXPECT_FALSE(fakes.files.exists(common)) << "only named";
    }
}

} // namespace
