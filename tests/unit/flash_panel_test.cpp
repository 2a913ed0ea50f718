// The preview panel through the fake platform: which movies reach the player,
// how the player is set up and replaced, and what the panel leaves behind.
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "flash/flash_panel.h"
#include "platform/registry.h"
#include "sample_movie.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kMovies = "C:\\Local\\Vellarmont\\Vlx1\\";

struct FlashPanel : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    PlayerVersionCache cache;
    fake::FakePanelWindow* window = nullptr;
    std::unique_ptr<TFlashPanel> panel;

    FlashPanel() {
        fakes.files.addFolder(kMovies);
        fakes.files.addFolder("C:\\Local\\Vellarmont\\");
        fakes.system.setSpecialFolder(0x1C, "C:\\Local"); // local application data
        fakes.players.install("WIN 10,0,12,36");
        auto owned = std::make_unique<fake::FakePanelWindow>();
        window = owned.get();
        panel = std::make_unique<TFlashPanel>(platform, cache, std::move(owned));
        panel->enableAllowScale = true;
    }

    std::string movie(const std::string& name, std::uint8_t version, bool compressed = false) {
        fakes.files.addFile(kMovies + name, sampleMovie(version, compressed));
        return kMovies + name;
    }
    const fake::FakePlayerControls::Record& player(std::size_t index) {
        return *fakes.players.instances.at(index);
    }
};

TEST_F(FlashPanel, APlayedMovieSetsUpThePlayerInOrder) {
    EXPECT_EQ(window->color, kPanelColorWhite);
    EXPECT_EQ(window->outerBevel, platform::PanelBevel::None) << "no edge is drawn";
    EXPECT_EQ(window->bevelWidth, 1);
    EXPECT_TRUE(window->fillsParent);

    const std::string path = movie("preview.swf", 9);
    ASSERT_EQ(panel->playMovie(path), result::kOk);
    ASSERT_TRUE(panel->flashPlayer);
    // The version query's instance, then the placed one.
    ASSERT_EQ(fakes.players.instances.size(), 2u);
    const auto& placed = player(1);
    EXPECT_TRUE(placed.placed);
    EXPECT_EQ(placed.parent, window->window);
    EXPECT_EQ(placed.width, 400);
    EXPECT_EQ(placed.height, 300);
    EXPECT_EQ(placed.calls,
              (Calls{"prop 120=0", "call SetVariable Align AlClient", "prop 133=Opaque",
                     "prop 135=false", "verb -3", "prop 102=" + path, "call Play", "verb -1"}));
    EXPECT_EQ(panel->movie.frameWidth, 550);
    EXPECT_EQ(panel->movie.frameHeight, 400);
    EXPECT_EQ(window->color, kPanelColorWhite) << "the movie's background never colours the panel";

    // The same path again, or none: nothing happens.
    EXPECT_EQ(panel->playMovie(path), result::kOk);
    EXPECT_EQ(panel->playMovie(""), result::kOk);
    EXPECT_EQ(fakes.players.instances.size(), 2u);
    EXPECT_EQ(player(1).calls.size(), 8u);
}

TEST_F(FlashPanel, AnotherMovieReplacesThePlayerAndARefusedOneKeepsIt) {
    ASSERT_EQ(panel->playMovie(movie("first.swf", 9)), result::kOk);
    const int handledBefore = fakes.ui.messagesHandled;
    const std::string second = movie("second.swf", 8, true);
    ASSERT_EQ(panel->playMovie(second), result::kOk);
    EXPECT_TRUE(player(1).released);
    EXPECT_EQ(player(1).calls.back(), "call StopPlay");
    EXPECT_EQ(fakes.ui.messagesHandled, handledBefore + 1);
    // The compressed movie is read from its expanded copy and played from itself.
    EXPECT_EQ(player(2).properties.at(dispid::kMovie), platform::DispatchValue(second));
    EXPECT_EQ(panel->movie.swfVersion, 8);

    const struct {
        const char* what;
        std::string path;
        ResultCode expected;
    } refused[] = {
        {"version above 11", movie("v12.swf", 12), result::kSwfVersionTooHigh},
        {"newer than the player", movie("v11.swf", 11), result::kMovieNewerThanPlayer},
        {"not a movie", (fakes.files.addFile(kMovies + "x.swf", "GIF89a"), kMovies + "x.swf"),
         result::kNotSwfMovie},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(panel->playMovie(c.path), c.expected);
        EXPECT_EQ(fakes.players.liveInstances, 1);
        EXPECT_FALSE(player(2).released);
        EXPECT_EQ(fakes.players.instances.size(), 3u);
        // The failed path is kept: asking again does not try again.
        EXPECT_EQ(panel->playMovie(c.path), result::kOk);
    }
}

TEST_F(FlashPanel, AMovieUpToThePlayersMajorVersionPlays) {
    // The player is 10,0,12,36.
    const struct {
        std::uint8_t version;
        ResultCode expected;
    } cases[] = {{9, result::kOk}, {10, result::kOk}, {11, result::kMovieNewerThanPlayer}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.version));
        fake::FakePlatform machine;
        machine.files.addFile(kMovies + "a.swf", sampleMovie(c.version, false));
        machine.players.install("WIN 10,0,12,36");
        platform::Platform seam = machine.platform();
        PlayerVersionCache versions;
        TFlashPanel fresh(seam, versions, std::make_unique<fake::FakePanelWindow>());
        EXPECT_EQ(fresh.playMovie(kMovies + "a.swf"), c.expected);
        EXPECT_EQ(fresh.movie.swfVersion, c.version);
        EXPECT_EQ(fresh.flashPlayer != nullptr, c.expected == result::kOk);
        // The version query's instance, and the placed one only for a movie that plays.
        EXPECT_EQ(machine.players.instances.size(), c.expected == result::kOk ? 2u : 1u);
    }
}

TEST_F(FlashPanel, PlayerMissingUnplaceableOrRefusing) {
    // No player at all: 1000 queries, 500 ms apart (recorded, not slept).
    fakes.players.createsFromAttempt.reset();
    EXPECT_EQ(panel->playMovie(movie("a.swf", 9)), result::kFlashInstallerMissing);
    EXPECT_EQ(fakes.players.creationAttempts, 1000);
    EXPECT_EQ(fakes.ui.sleptMilliseconds, 500000u);
    EXPECT_FALSE(panel->flashPlayer);

    // Known from the cache but never placeable: 10000 attempts without pause.
    cache.version = {10, 12};
    fakes.players.creationAttempts = 0;
    fakes.ui.sleptMilliseconds = 0;
    EXPECT_EQ(panel->playMovie(movie("b.swf", 9)), result::kNoPlayerInstance);
    EXPECT_EQ(fakes.players.creationAttempts, 10000);
    EXPECT_EQ(fakes.ui.sleptMilliseconds, 0u);

    // Created but not placeable in the panel: the instance is kept and the
    // attempts end at once; its settings are left out, the movie goes to it.
    fakes.players.creationAttempts = 0;
    fakes.players.install("WIN 10,0,12,36");
    fakes.players.placementFails = true;
    const std::string unplaced = movie("u.swf", 9);
    EXPECT_EQ(panel->playMovie(unplaced), result::kOk);
    EXPECT_EQ(fakes.players.creationAttempts, 1);
    ASSERT_EQ(fakes.players.instances.size(), 1u);
    EXPECT_FALSE(player(0).placed);
    EXPECT_EQ(fakes.players.liveInstances, 1);
    EXPECT_EQ(player(0).calls, (Calls{"verb -3", "prop 102=" + unplaced, "call Play", "verb -1"}));
    fakes.players.placementFails = false;

    // A setting refused still leaves the one instance; a refused Play is a
    // named failure of the movie.
    fakes.players.failingProperties = {dispid::kScaleMode};
    const std::string path = movie("c.swf", 9);
    EXPECT_EQ(panel->playMovie(path), result::kOk);
    EXPECT_EQ(fakes.players.instances.size(), 2u);
    EXPECT_TRUE(player(0).released);
    EXPECT_EQ(player(1).calls,
              (Calls{"prop 120=0", "verb -3", "prop 102=" + path, "call Play", "verb -1"}))
        << "the settings after a failed one are left out";

    fakes.players.failingMethods = {"Play"};
    EXPECT_EQ(panel->playMovie(movie("d.swf", 9)), result::kMovieNotPlayed);
}

TEST_F(FlashPanel, ScriptCommandsOnlyChangeAllowScaleWhenEnabled) {
    ASSERT_EQ(panel->playMovie(movie("a.swf", 9)), result::kOk);
    const struct {
        bool enabled;
        std::vector<std::string> arguments; // as the event brings them
        std::int32_t expected;
    } cases[] = {
        {true, {"allowscale", "true"}, 1},
        {true, {"ALLOWSCALE", "False"}, 0},
        {true, {"AllowScale", "TRUEST"}, 1},
        {true, {"allowscale", "tru"}, 0},
        {true, {"FULLSCREEN", "true"}, 7},
        {false, {"ALLOWSCALE", "true"}, 7},
        {true, {"allowscale"}, 0}, // no argument text: not "TRUE"
        {true, {"allowscale", "true", "more"}, 1},
        {true, {}, 7}, // no command
    };
    for (const auto& c : cases) {
        panel->enableAllowScale = c.enabled;
        panel->movie.allowScale = 7;
        fakes.players.raise(dispid::kOnFSCommand, c.arguments);
        EXPECT_EQ(panel->movie.allowScale, c.expected)
            << c.arguments.size() << " arguments: " << (c.arguments.empty() ? "" : c.arguments[0]);
    }
    // Other events are accepted and ignored.
    fakes.players.raise(dispid::kOnReadyStateChange, {"4"});
    fakes.players.raise(dispid::kOnProgress, {});
    EXPECT_EQ(panel->movie.allowScale, 7);
}

// The panel's own visibility counts: the window it lies in is still hidden
// while the preparation refreshes the movie.
TEST_F(FlashPanel, RefreshRepaintsAShownPanelThatHasAPlayer) {
    panel->refreshMovie();
    EXPECT_EQ(window->invalidations, 0) << "no player yet";
    ASSERT_EQ(panel->playMovie(movie("a.swf", 9)), result::kOk);
    const struct {
        bool shown;
        int invalidations; // in all, after the refresh
    } cases[] = {{false, 0}, {true, 1}, {true, 2}, {false, 2}};
    for (const auto& c : cases) {
        window->shown = c.shown;
        panel->refreshMovie();
        EXPECT_EQ(window->invalidations, c.invalidations) << (c.shown ? "shown" : "hidden");
    }
    panel->closeMovie();
    window->shown = true;
    panel->refreshMovie();
    EXPECT_EQ(window->invalidations, 2) << "the player is gone";
}

TEST_F(FlashPanel, ClosingAndDestroyingLeaveNothingBehind) {
    panel->closeMovie(); // no player yet
    EXPECT_EQ(window->color, kPanelColorBlack);
    EXPECT_EQ(panel->swfFilename, "");

    ASSERT_EQ(panel->playMovie(movie("a.swf", 9, true)), result::kOk);
    const std::string temp = panel->movie.swfTempFolder;
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(fakes.files.fileExists(temp + kExpandedMovieName));
    panel->closeMovie();
    EXPECT_FALSE(panel->flashPlayer);
    EXPECT_EQ(fakes.players.liveInstances, 0);
    EXPECT_EQ(panel->swfFilename, "");

    ASSERT_EQ(panel->playMovie(movie("b.swf", 9, true)), result::kOk);
    EXPECT_EQ(panel->movie.swfTempFolder, temp) << "one temporary folder per panel";
    panel.reset();
    EXPECT_FALSE(fakes.files.folderExists(temp));
    EXPECT_EQ(fakes.players.liveInstances, 0);
}

} // namespace
