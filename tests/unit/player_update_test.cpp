// Finding the Flash Player control and running the carried installer, through
// the fake registry, files, shell and player control.
#include <gtest/gtest.h>

#include <cstdint>

#include "flash/player_update.h"
#include "package_fixture.h"
#include "platform/registry.h"

namespace {

using namespace packagetest;
using platform::RegistryRoot;
using platform::ShowMode;

const std::string kServerKey = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32";
const std::string kOcx = "C:\\WINDOWS\\system32\\Macromed\\Flash\\Flash10a.ocx";

std::uint32_t versionWord(std::uint32_t high, std::uint32_t low) {
    return high << 16 | low;
}

struct PlayerUpdate : PackageFixture {
    PlayerVersionCache playerVersionCache;

    // A registered control file with a version resource a.b.c.d.
    void registerPlayerFile(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        fakes.registry.setValue(RegistryRoot::ClassesRoot, kServerKey, "", kOcx);
        fakes.files.addFile(kOcx, "control");
        fakes.system.fileVersions[upperAscii(kOcx)] = {platform::VersionResource::Found,
                                                       {versionWord(a, b), versionWord(c, d)}};
    }

    // Reads a package that carries a player installer (or none when the name
    // is empty) with the given version index.
    void readPackage(const std::string& installerName, std::uint8_t index) {
        PackageContent content = standardPackage({});
        if (!installerName.empty()) {
            content.entries[2] = entryOf(installerName, 4, compressible(400, 'f'));
            content.header.carriesFlashInstaller = 1;
            content.header.flashAXInstallerVersion = index;
        }
        ASSERT_EQ(install(layOut(content)), result::kOk);
    }

    std::vector<std::string> startedParameters() const {
        std::vector<std::string> parameters;
        for (const auto& started : fakes.shell.startedPrograms)
            parameters.push_back(started.parameters);
        return parameters;
    }

    static std::string upperAscii(std::string text) {
        for (char& c : text)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return text;
    }
};

// A fresh machine for one row of a table.
struct Machine final : PlayerUpdate {
    void TestBody() override {}
};

TEST(PlayerVersionText, MajorAndRevisionAreTokensTwoAndFour) {
    const struct {
        const char* text;
        std::optional<FlashVersion> expected;
    } cases[] = {
        {"WIN 10,0,12,36", FlashVersion{10, 12}},
        {"  WIN 9,0,115,0", FlashVersion{9, 115}},
        {"WIN 10,0,12", FlashVersion{10, 12}},
        {"WIN 10,0", std::nullopt},
        {"", std::nullopt},
        {"WIN x,0,12,36", std::nullopt},
        {"WIN 10,0,1b,36", std::nullopt},
        {"WIN 99999999999,0,12,36", std::nullopt},
        {"WIN -2147483648,0,2147483647,36", FlashVersion{INT32_MIN, INT32_MAX}},
        {"WIN 2147483648,0,12,36", std::nullopt},
        {"WIN -2147483649,0,12,36", std::nullopt},
        {"WIN 10,0,,36", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto version = parsePlayerVersionText(c.text);
        ASSERT_EQ(version.has_value(), c.expected.has_value()) << c.text;
        if (version) {
            EXPECT_EQ(version->major, c.expected->major) << c.text;
            EXPECT_EQ(version->revision, c.expected->revision) << c.text;
        }
    }
}

// Each row: what is installed, what the package carries, and how the step ends.
TEST_F(PlayerUpdate, DecisionTable) {
    struct Installed {
        bool file;
        std::uint32_t a, c;        // the file's version a.0.c.0
        const char* controlAnswer; // the control's "$version" answer; nullptr: not creatable
    };
    const struct {
        const char* what;
        Installed installed;
        const char* carried; // installer name; empty: none
        std::uint8_t index;
        ResultCode expected;
        const char* parameters; // of the one silent start; empty: nothing started
    } rows[] = {
        {"same version", {true, 10, 12, nullptr}, kFlashInstallerName, 0, 0, ""},
        {"older revision", {true, 9, 115, "WIN 9,0,124,0"}, kFlashInstallerName, 1, 0, "/s"},
        {"older major", {true, 9, 115, "WIN 10,0,12,36"}, kFlashInstaller10Name, 0, 0, "/s"},
        {"revision 0 never updates", {true, 9, 0, nullptr}, kFlashInstallerName, 1, 0, ""},
        {"newer major", {true, 10, 1, nullptr}, kFlashInstallerName, 1, 0, ""},
        {"found by the control", {false, 0, 0, "WIN 9,0,45,0"}, "setup.exe", 1, 0, "/Q"},
        {"file without version", {true, 0, 0, "WIN 10,0,12,36"}, kFlashInstallerName, 0, 0, ""},
        {"found, nothing carried", {true, 9, 45, nullptr}, "", 0, 0, ""},
        {"clean install", {false, 0, 0, nullptr}, "player_setup.exe", 0, 0, "/Q"},
        {"nothing at all", {false, 0, 0, nullptr}, "", 0, result::kFlashPlayerRequired, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Machine test;
        if (row.installed.file)
            test.registerPlayerFile(row.installed.a, 0, row.installed.c, 0);
        if (row.installed.controlAnswer)
            test.fakes.players.install(row.installed.controlAnswer);
        else // the carried installer makes the control appear
            test.fakes.shell.onStart = [&](const auto&) {
                test.fakes.players.install("WIN 10,0,12,36");
            };
        test.readPackage(row.carried, row.index);

        EXPECT_EQ(runFlashStep(test.context, test.playerVersionCache), row.expected);
        if (!*row.parameters) {
            EXPECT_TRUE(test.fakes.shell.startedPrograms.empty());
        } else {
            ASSERT_EQ(test.startedParameters(), std::vector<std::string>{row.parameters});
            EXPECT_EQ(test.fakes.shell.startedPrograms[0].program, kWork + row.carried);
            EXPECT_EQ(test.fakes.shell.startedPrograms[0].show, ShowMode::Hidden);
            EXPECT_EQ(test.fakes.ui.broughtToFront, 1);
        }
        // The carried installer is extracted whether or not it runs.
        if (*row.carried) {
            EXPECT_EQ(test.fakes.files.content(kWork + row.carried),
                      textOf(compressible(400, 'f')));
        }
        EXPECT_EQ(test.fakes.players.liveInstances, 0);
    }
}

TEST_F(PlayerUpdate, ControlQueriesSleepWithoutPumpingAndCacheTheFirstAnswer) {
    PlayerVersionCache cache;
    FlashDetection detection;
    for (const int attempts : {20, 1000}) {
        fakes.ui.sleptMilliseconds = 0;
        fakes.players.creationAttempts = 0;
        EXPECT_EQ(getFlashPlayerVersionFromControl(platform, cache, attempts, detection),
                  result::kFlashPlayerRequired);
        EXPECT_FALSE(detection.found);
        EXPECT_EQ(fakes.players.creationAttempts, attempts);
        EXPECT_EQ(fakes.ui.sleptMilliseconds, 500u * attempts);
        EXPECT_EQ(fakes.ui.messagesHandled, 0);
    }

    fakes.players.creationAttempts = 0;
    fakes.players.installAfter(3);
    EXPECT_EQ(getFlashPlayerVersionFromControl(platform, cache, 20, detection), result::kOk);
    EXPECT_TRUE(detection.found);
    EXPECT_EQ(detection.version.major, 10);
    EXPECT_EQ(detection.version.revision, 12);
    EXPECT_EQ(fakes.players.creationAttempts, 3);

    // A newer player later in the run is not asked: the first answer stays.
    fakes.players.install("WIN 11,0,1,0");
    const int attemptsBefore = fakes.players.creationAttempts;
    detection = {};
    EXPECT_EQ(getFlashPlayerVersionFromControl(platform, cache, 20, detection), result::kOk);
    EXPECT_EQ(detection.version.major, 10);
    EXPECT_EQ(fakes.players.creationAttempts, attemptsBefore);
    EXPECT_EQ(fakes.players.liveInstances, 0);
}

TEST_F(PlayerUpdate, ACreatedControlThatCannotTellItsVersionIsNotAskedAgain) {
    for (const bool getVariableFails : {true, false}) {
        PlayerVersionCache cache;
        FlashDetection detection;
        fakes.players.creationAttempts = 0;
        fakes.players.install("WIN ten,0,12,36");
        fakes.players.getVariableFails = getVariableFails;
        EXPECT_EQ(getFlashPlayerVersionFromControl(platform, cache, 20, detection),
                  result::kFlashPlayerRequired);
        EXPECT_FALSE(detection.found);
        EXPECT_EQ(fakes.players.creationAttempts, 1);
        EXPECT_FALSE(cache.filled());
        EXPECT_EQ(fakes.players.liveInstances, 0);
    }
}

TEST_F(PlayerUpdate, FilePropertiesNeedAReadableRegistrationAndAnExistingFile) {
    registerPlayerFile(10, 0, 12, 36);
    FlashDetection found = getFlashPlayerVersionInfoFromFileProperties(platform);
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.version.major, 10);
    EXPECT_EQ(found.version.revision, 12);

    fakes.system.fileVersions.clear(); // no version resource: found, version 0
    found = getFlashPlayerVersionInfoFromFileProperties(platform);
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.version.major, 0);

    fakes.registry.setValue(RegistryRoot::ClassesRoot, kServerKey, "", "C:\\nowhere\\x.ocx");
    EXPECT_FALSE(getFlashPlayerVersionInfoFromFileProperties(platform).found);

    // A key that cannot be opened with full access counts as no registration.
    fakes.registry.setValue(RegistryRoot::ClassesRoot, kServerKey, "", kOcx);
    fakes.registry.refuseAccess(RegistryRoot::ClassesRoot);
    std::string path = "stale";
    EXPECT_EQ(getFlashOCXFilePath(fakes.registry, path), result::kFlashPlayerRequired);
    EXPECT_EQ(path, "");
}

TEST_F(PlayerUpdate, AFailedUpdateStartsTheInstallerAgainForTheUser) {
    const struct {
        const char* what;
        std::deque<std::int32_t> shellAnswers;
        bool controlAppears;
        ResultCode expected;
        std::vector<std::string> parameters;
    } cases[] = {
        {"silent start refused", {5, 42}, true, 5, {"/s", ""}},
        {"shell out of resources", {0, 42}, true, -7, {"/s", ""}},
        {"shell answer 32 is no start", {32, 42}, true, 32, {"/s", ""}},
        {"shell answer 33 is a start", {33}, true, result::kOk, {"/s"}},
        {"control never appears", {42, 42}, false, result::kFlashUpdateFailed, {"/s", ""}},
        {"control appears", {42}, true, result::kOk, {"/s"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.readPackage(kFlashInstallerName, 0);
        test.fakes.shell.startAnswers = c.shellAnswers;
        if (c.controlAppears)
            test.fakes.shell.onStart = [&](const auto&) { test.fakes.players.installAfter(4); };
        EXPECT_EQ(runFlashStep(test.context, test.playerVersionCache), c.expected);
        EXPECT_EQ(test.startedParameters(), c.parameters);
        if (c.parameters.size() == 2) {
            EXPECT_EQ(test.fakes.shell.startedPrograms[1].show, ShowMode::Normal);
        }
    }
}

TEST_F(PlayerUpdate, RefusalsBeforeAnythingIsExtractedOrStarted) {
    const struct {
        const char* what;
        platform::OsVersion os;
        std::uint8_t index;
        ResultCode expected;
    } cases[] = {
        {"carried major 9 on NT 4.0",
         {2, 4, 0, "Service Pack 6a"},
         1,
         result::kNotCompatibleWithNt},
        {"unknown version index", {2, 5, 1, ""}, 2, result::kFlashInstallerVersionUnknown},
        {"highest index", {2, 5, 1, ""}, 255, result::kFlashInstallerVersionUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.fakes.system.version = c.os;
        test.readPackage(kFlashInstallerName, c.index);
        EXPECT_EQ(runFlashStep(test.context, test.playerVersionCache), c.expected);
        EXPECT_FALSE(test.fakes.files.fileExists(kWork + kFlashInstallerName));
        EXPECT_TRUE(test.fakes.shell.startedPrograms.empty());
    }
}

TEST_F(PlayerUpdate, AnInstallerMissingFromTheWorkFolderIsNeverStarted) {
    EXPECT_EQ(runFlashPlayerInstaller(context, kFlashInstallerName, true),
              result::kFlashInstallerMissing);
    EXPECT_EQ(handleFlashActiveXControlUpdate(context, playerVersionCache, kFlashInstallerName),
              result::kFlashInstallerMissing);
    EXPECT_TRUE(fakes.shell.startedPrograms.empty());
    EXPECT_EQ(fakes.ui.broughtToFront, 0);
}

} // namespace
