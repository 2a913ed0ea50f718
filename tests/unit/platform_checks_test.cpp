#include "system/platform_checks.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace {

using platform::OsVersion;
using platform::Wow64Answer;

struct Case {
    OsVersion version;
    OperatingSystemClass expected;
    bool win9x;
};

TEST(PlatformChecks, ClassesByVersion) {
    const Case cases[] = {
        {{1, 4, 0, ""}, osclass::kWindows95, true},
        {{1, 4, 10, ""}, osclass::kWindows98, true},
        {{1, 4, 10, " B "}, osclass::kWindows98, true},
        {{1, 4, 10, " A "}, osclass::kWindows98SecondEdition, true},
        {{1, 4, 10, "A"}, osclass::kWindows98, true},
        {{1, 4, 90, ""}, osclass::kWindowsMe, true},
        {{1, 4, 20, ""}, osclass::kUnrecognised, false},
        {{1, 5, 0, ""}, osclass::kUnrecognised, false},
        {{2, 3, 51, ""}, osclass::kWindowsNt4, false},
        {{2, 4, 0, "Service Pack 6a"}, osclass::kWindowsNt4, false},
        {{2, 5, 0, ""}, osclass::kWindows2000, false},
        {{2, 5, 1, "Service Pack 3"}, osclass::kWindowsXp, false},
        {{2, 5, 2, ""}, osclass::kUnrecognised, false},
        {{2, 6, 0, ""}, osclass::kUnrecognised, false},
        {{2, 6, 1, ""}, osclass::kUnrecognised, false},
        {{2, 10, 0, ""}, osclass::kUnrecognised, false},
        {{0, 3, 10, ""}, osclass::kUnrecognised, false}, // Win32s
        {{3, 5, 1, ""}, osclass::kUnrecognised, false},
    };
    for (const Case& c : cases) {
        fake::FakeSystemInfo system;
        system.version = c.version;
        EXPECT_EQ(GetOperatingSystem(system), c.expected)
            << c.version.platformId << " " << c.version.major << "." << c.version.minor;
        EXPECT_EQ(isWin9xFamily(system), c.win9x)
            << c.version.platformId << " " << c.version.major << "." << c.version.minor;
    }
}

TEST(PlatformChecks, UnrecognisedIsAllBitsSet) {
    fake::FakeSystemInfo system;
    system.version = OsVersion{2, 6, 1, ""};
    EXPECT_EQ(static_cast<std::uint32_t>(GetOperatingSystem(system)), 0xFFFFFFFFu);
}

TEST(PlatformChecks, FailingVersionQuery) {
    fake::FakeSystemInfo system;
    system.version.reset();
    EXPECT_EQ(GetOperatingSystem(system), osclass::kUnrecognised);
    EXPECT_FALSE(isWin9xFamily(system));
}

TEST(PlatformChecks, Wow64WinsWithoutAskingTheVersion) {
    fake::FakeSystemInfo system;
    system.wow64 = Wow64Answer::Yes;
    system.version = OsVersion{1, 4, 10, " A "};
    EXPECT_EQ(GetOperatingSystem(system), osclass::kWindows64);
    EXPECT_EQ(system.versionQueries, 0);
    EXPECT_TRUE(runningOnWin64(system));
}

TEST(PlatformChecks, Wow64ExportMissingOrAnsweringNo) {
    fake::FakeSystemInfo system;
    system.wow64 = Wow64Answer::ExportMissing;
    EXPECT_FALSE(runningOnWin64(system));
    EXPECT_EQ(GetOperatingSystem(system), osclass::kWindowsXp);
    system.wow64 = Wow64Answer::No;
    EXPECT_FALSE(runningOnWin64(system));
}

TEST(PlatformChecks, FailingWow64QueryRaisesBadProcessHandle) {
    fake::FakeSystemInfo system;
    system.wow64 = Wow64Answer::CallFailed;
    try {
        GetOperatingSystem(system);
        FAIL() << "no error raised";
    } catch (const PlatformCheckError& error) {
        EXPECT_STREQ(error.what(), "Bad process handle");
    }
    EXPECT_THROW(runningOnWin64(system), PlatformCheckError);
}

} // namespace
