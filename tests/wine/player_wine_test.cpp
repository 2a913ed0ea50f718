// Finding the player control and updating it for real: the stand-in control
// registered with regsvr32, the stand-in installer started through the shell.
#include <gtest/gtest.h>

#include "flash/player_update.h"
#include "payload/entry_destinations.h"
#include "real_installation.h"
#include "sample_packages.h"
#include "stand_in_support.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

constexpr const char* kInstallerWindow = "Stand-in Player Installer";

// No player registration before and after each test. The clean-up runs after
// the platform has let COM and the control's file go.
struct CleanRegistration {
    CleanRegistration() {
        standin::clearSwitches();
        EXPECT_TRUE(standin::removePlayerRegistration());
    }
    CleanRegistration(const CleanRegistration&) = delete;
    CleanRegistration& operator=(const CleanRegistration&) = delete;
    ~CleanRegistration() {
        standin::clearSwitches();
        EXPECT_TRUE(standin::removePlayerRegistration());
    }
};

struct Player : ::testing::Test {
    CleanRegistration clean;
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    PlayerVersionCache cache;
};

TEST_F(Player, VersionFromTheFileAndElseFromTheControl) {
    const struct {
        const char* what;
        std::optional<standin::PlayerBuild> build;
        bool fromFile;
        FlashVersion expected;
    } cases[] = {
        {"version resource", standin::PlayerBuild::Default, true, {10, 12}},
        {"other version", standin::PlayerBuild::Version9, true, {9, 115}},
        {"no version resource", standin::PlayerBuild::WithoutVersionResource, false, {10, 12}},
        {"nothing registered", std::nullopt, false, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(standin::removePlayerRegistration());
        if (c.build) {
            ASSERT_EQ(standin::registerPlayer(standin::playerPath(*c.build)), 0u);
        }
        const FlashDetection file = getFlashPlayerVersionInfoFromFileProperties(platform);
        EXPECT_EQ(file.found, c.build.has_value());
        EXPECT_EQ(file.version.major, c.fromFile ? c.expected.major : 0);

        PlayerVersionCache fresh;
        const FlashDetection found = getFlashPlayerVersion(platform, fresh, 2);
        EXPECT_EQ(found.found, c.build.has_value());
        EXPECT_EQ(found.version.major, c.expected.major);
        EXPECT_EQ(found.version.revision, c.expected.revision);
        EXPECT_EQ(fresh.filled(), c.build && !c.fromFile);
    }
}

TEST_F(Player, AControlWhoseGetVariableFailsGivesNoVersion) {
    ASSERT_EQ(
        standin::registerPlayer(standin::playerPath(standin::PlayerBuild::WithoutVersionResource)),
        0u);
    standin::setGetVariableFailure(true);
    FlashDetection detection;
    EXPECT_EQ(getFlashPlayerVersionFromControl(platform, cache, 3, detection),
              result::kFlashPlayerRequired);
    EXPECT_FALSE(detection.found);
    EXPECT_FALSE(cache.filled());
}

// A package with the stand-in installer under the known name, read as the
// installer does.
struct PlayerUpdate : Player {
    void SetUp() override {
        const std::string tag = std::to_string(GetCurrentProcessId());
        PackageContent content =
            samplePackage("Player Saver " + tag, "Ply" + tag + ".scr", "plylib" + tag + ".bin", {});
        const std::string installer = readFile(standin::installerPath());
        content.entries[2] =
            EntryContent{kFlashInstallerName, 4, true, Bytes(installer.begin(), installer.end())};
        content.header.carriesFlashInstaller = 1;
        content.header.flashAXInstallerVersion = 0;
        const Bytes bytes = sampleInstaller(content);
        writeFile(folder.path() + "setup.exe", std::string(bytes.begin(), bytes.end()));
        installation =
            std::make_unique<RealInstallation>(folder.path() + "setup.exe", kSampleStubSize);
        ASSERT_EQ(installation->prepare(), result::kOk);
        standin::setInstallerLog(folder.path() + "installer.log");
    }

    std::vector<std::string> installerRuns() {
        std::vector<std::string> lines;
        if (!exists(folder.path() + "installer.log"))
            return lines;
        std::string text = readFile(folder.path() + "installer.log");
        for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1))
            lines.push_back(text.substr(0, end));
        return lines;
    }

    TempFolder folder{"playerupdate"};
    std::unique_ptr<RealInstallation> installation;
    PlayerVersionCache playerVersionCache;
};

TEST_F(PlayerUpdate, TheSilentInstallerMakesAMissingControlAppear) {
    EXPECT_EQ(runFlashStep(installation->context, playerVersionCache), result::kOk);
    EXPECT_TRUE(playerVersionCache.filled());
    EXPECT_EQ(playerVersionCache.version.major, 10);
    ASSERT_EQ(installerRuns().size(), 1u);
    EXPECT_NE(installerRuns()[0].find(" /s"), std::string::npos) << installerRuns()[0];
    EXPECT_EQ(standin::registeredPlayerPath(), standin::installedPlayerPath());
}

TEST_F(PlayerUpdate, AnInstallerThatRegistersNothingEndsInTheInteractiveStart) {
    standin::setInstallerBehaviour("exit");
    EXPECT_EQ(runFlashStep(installation->context, playerVersionCache), result::kFlashUpdateFailed);

    // The second start shows the installer's window for the user.
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i, Sleep(100))
        window = FindWindowA(nullptr, kInstallerWindow);
    ASSERT_NE(window, nullptr);
    SendDlgItemMessageA(window, IDOK, BM_CLICK, 0, 0);
    for (int i = 0; i < 50 && IsWindow(window); ++i)
        Sleep(100);
    EXPECT_FALSE(IsWindow(window));

    const auto runs = installerRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_NE(runs[0].find(" /s"), std::string::npos) << runs[0];
    EXPECT_EQ(runs[1].find(" /"), std::string::npos) << runs[1];
    EXPECT_EQ(standin::registeredPlayerPath(), "");
}

} // namespace
} // namespace winetest
