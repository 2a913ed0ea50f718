#include "system/display_properties.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/recording_view.h"

namespace {

using namespace std::string_literals;
using platform::DialogButton;
using platform::WindowHandle;

// ------------------------------------------------------------ closing the dialog

struct ClosingDialogs : ::testing::Test {
    fake::FakeMessaging windows;
    ResourceTexts texts;
};

TEST_F(ClosingDialogs, NothingOpenSearchesAllFourTitlesInOrder) {
    windows.addWindow("Display");
    fake::FakeSystemInfo german;
    german.strings = {{text::kDisplayPropertiesTitle.id, "Eigenschaften von Anzeige"},
                      {text::kScreensaverSettingsTitle.id, "Bildschirmschoner-Einstellungen"}};
    const struct {
        const char* what;
        ResourceTexts texts;
        std::vector<std::string> searched;
    } cases[] = {
        {"English",
         {},
         {"Display Properties", "Screensaver Settings", "Display Properties",
          "Screen Saver Settings"}},
        {"the table's own titles first",
         ResourceTexts::load(german),
         {"Eigenschaften von Anzeige", "Bildschirmschoner-Einstellungen", "Display Properties",
          "Screen Saver Settings"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        windows.searchedTitles.clear();
        closeDisplayPropertiesWindow(windows, c.texts);
        EXPECT_EQ(windows.searchedTitles, c.searched);
        EXPECT_TRUE(windows.clicks.empty());
    }
}

TEST_F(ClosingDialogs, OnlyTheFirstInTheSearchOrderIsClosed) {
    const WindowHandle fixed = windows.addDialog("Screen Saver Settings");
    const WindowHandle resource = windows.addDialog("Screensaver Settings");
    closeDisplayPropertiesWindow(windows, texts);
    EXPECT_FALSE(windows.isOpen(resource));
    EXPECT_TRUE(windows.isOpen(fixed));
    ASSERT_EQ(windows.clicks.size(), 1u);
    EXPECT_EQ(windows.clicks[0].dialog, resource);
    EXPECT_EQ(windows.clicks[0].controlId, 2) << "IDCANCEL";
    EXPECT_EQ(windows.searchedTitles.size(), 2u) << "the search stops at the first found";

    const WindowHandle display = windows.addDialog("Display Properties");
    closeDisplayPropertiesWindow(windows, texts);
    EXPECT_FALSE(windows.isOpen(display));
    EXPECT_TRUE(windows.isOpen(fixed));

    closeDisplayPropertiesWindow(windows, texts);
    EXPECT_FALSE(windows.isOpen(fixed)) << "the last of the four titles";
    EXPECT_EQ(windows.clicks.size(), 3u);
}

// ------------------------------------------------------------ the control panel question

struct ControlPanel : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::RecordingView view{fakes.ui};
    InstallReporter reporter{platform, view};
    LauncherState state;
    WindowHandle launcherWindow = fakes.messaging.addWindow("Launcher");
    LauncherChannel channel{fakes.messaging, state, {"/l=" + std::to_string(launcherWindow)}};

    ResourceTexts texts;
    void ask(bool offer) { openScreenSaverControlPanel(reporter, fakes.ui, channel, texts, offer); }
};

TEST_F(ControlPanel, YesAsksTheLauncherToOpenThePanel) {
    fakes.ui.answers.push_back(DialogButton::Yes);
    ask(true);
    EXPECT_EQ(fakes.ui.broughtToFront, 1);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].kind, platform::DialogKind::Confirmation);
    EXPECT_EQ(fakes.ui.dialogs[0].text,
              "The installation of the screen saver was successful.\r\n\r\nWould you like to open "
              "the screen saver control panel?");
    EXPECT_EQ(fakes.ui.dialogs[0].buttons, (std::vector{DialogButton::Yes, DialogButton::No}));
    EXPECT_EQ(view.statusTexts,
              std::vector<std::string>{
                  "Opening the Display Properties control panel. Please standby..."});
    EXPECT_EQ(fakes.ui.pendingMessagePasses, 1);
    ASSERT_EQ(fakes.messaging.received.size(), 1u);
    EXPECT_EQ(fakes.messaging.received[0].bytes, "openScreenSaverControlPanel\0"s);
}

TEST_F(ControlPanel, NoOrAPackageThatDoesNotOfferItSendsNothing) {
    fakes.ui.answers.push_back(DialogButton::No);
    ask(true);
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_TRUE(view.statusTexts.empty());
    EXPECT_TRUE(fakes.messaging.received.empty());

    fakes.ui.answers.push_back(DialogButton::Yes);
    ask(false);
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u) << "not asked";
    EXPECT_TRUE(fakes.messaging.received.empty());
}

TEST_F(ControlPanel, WithoutALauncherYesOpensNothing) {
    LauncherState alone;
    LauncherChannel noLauncher{fakes.messaging, alone, {}};
    fakes.ui.answers.push_back(DialogButton::Yes);
    openScreenSaverControlPanel(reporter, fakes.ui, noLauncher, texts, true);
    EXPECT_EQ(view.statusTexts.size(), 1u);
    EXPECT_TRUE(fakes.messaging.received.empty());
    EXPECT_EQ(fakes.messaging.sendsToNoWindow, 0);
}

} // namespace
