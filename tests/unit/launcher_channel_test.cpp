#include "system/launcher_channel.h"

#include <gtest/gtest.h>

#include <limits>

#include "fakes/fake_messaging.h"

namespace {

using namespace std::string_literals;
using platform::WindowHandle;

constexpr WindowHandle kInstallerWindow = 0x2002A;

struct Launcher : ::testing::Test {
    fake::FakeMessaging windows;
    LauncherState state;

    LauncherChannel channel(std::vector<std::string> arguments) {
        LauncherChannel made(windows, state, std::move(arguments));
        made.setInstallerWindow(kInstallerWindow);
        return made;
    }
    static std::string switchFor(WindowHandle window) { return "/l=" + std::to_string(window); }
};

// ------------------------------------------------------------ switches

TEST(LauncherSwitch, OnlyALowerCaseLAtTheVeryStartMakesOne) {
    EXPECT_EQ(launcherSwitchValue("/l=1234"), 1234u);
    for (const char* argument : {"/L=1234", " /l=1234", "x/l=1234", "/l1234", ""})
        EXPECT_EQ(launcherSwitchValue(argument), std::nullopt) << argument;
}

TEST(LauncherSwitch, UnsignedDecimalAfterEveryLauncherSwitchIsRemoved) {
    EXPECT_EQ(launcherSwitchValue("/l=12/L=34"), 1234u);
    EXPECT_EQ(launcherSwitchValue("/l=/l=5"), 5u);
    EXPECT_EQ(launcherSwitchValue("/l=2147483648"), 2147483648u);
    EXPECT_EQ(launcherSwitchValue("/l=4294967294"), 4294967294u);
    EXPECT_EQ(launcherSwitchValue("/l=000000000000000001234"), 1234u);
    EXPECT_EQ(launcherSwitchValue("/l=65534"), 65534u);
    EXPECT_EQ(launcherSwitchValue("/l=65536"), 65536u);
}

TEST(LauncherSwitch, AnythingElseNamesNoWindow) {
    // "/l/l==9": removal is one pass, what it joins is not removed again.
    // 65535 and 4294967295 (HWND_BROADCAST, HWND_TOPMOST) address every window.
    for (const char* argument : {"/l=", "/l=0", "/l=-5", "/l=+5", "/l= 5", "/l=5 ", "/l=12ab",
                                 "/l=0x10", "/l=$10", "/l=4294967296", "/l=99999999999999999999",
                                 "/l=\xB9", "/l=/l/l==9", "/l=65535", "/l=4294967295"})
        EXPECT_EQ(launcherSwitchValue(argument), platform::kNoWindow) << argument;
}

TEST(QuietSwitch, SlashQInAnyCaseAndNothingElse) {
    EXPECT_TRUE(isQuietSwitch("/q"));
    EXPECT_TRUE(isQuietSwitch("/Q"));
    for (const char* argument : {"/quiet", "/q ", " /q", "q", "-q", "/", "", "/q=1", "//q"})
        EXPECT_FALSE(isQuietSwitch(argument)) << argument;
}

// ------------------------------------------------------------ command records

TEST(CommandRecord, CountsTheTerminatorAndTheExtraNulOfTheActivation) {
    const CommandRecord read = makeCommandRecord(launcher::kReadHeaderCommand);
    EXPECT_EQ(read.dwData, 0u);
    EXPECT_EQ(read.cbData, 26u);
    EXPECT_EQ(read.data, "read installer heard file\0"s);

    const CommandRecord activate = makeCommandRecord(makeActiveSaverCommand("x.scr"));
    EXPECT_EQ(activate.cbData, 23u);
    EXPECT_EQ(activate.data, "makeActiveSaver-x.scr\0\0"s);

    const CommandRecord empty = makeCommandRecord("");
    EXPECT_EQ(empty.cbData, 1u);
    EXPECT_EQ(empty.data, "\0"s);
}

// ------------------------------------------------------------ the channel

TEST_F(Launcher, CommandsArriveByteExactWithTheInstallerWindow) {
    const WindowHandle launcherWindow = windows.addWindow("Launcher");
    LauncherChannel launcher = channel({"/q", switchFor(launcherWindow)});
    launcher.notifyLauncher(launcher::kReadHeaderCommand);
    launcher.notifyLauncher(launcher::kQuietInstallerCommand);
    launcher.notifyLauncher(makeActiveSaverCommand("Aqua5405.scr"));
    launcher.notifyLauncher(launcher::kOpenControlPanelCommand);

    EXPECT_EQ(state.launcherWindow, launcherWindow);
    ASSERT_EQ(windows.received.size(), 4u);
    const std::string expected[] = {"read installer heard file\0"s, "quiet installer\0"s,
                                    "makeActiveSaver-Aqua5405.scr\0\0"s,
                                    "openScreenSaverControlPanel\0"s};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(windows.received[i].target, launcherWindow);
        EXPECT_EQ(windows.received[i].sender, kInstallerWindow);
        EXPECT_EQ(windows.received[i].dwData, 0u);
        EXPECT_EQ(windows.received[i].bytes, expected[i]);
    }
}

TEST_F(Launcher, WithoutASwitchNothingIsSentAndTheLineIsScannedAgain) {
    windows.addWindow("Launcher");
    std::vector<std::string> arguments = {"/L=" + std::to_string(windows.addWindow("Other")), "/q",
                                          "setup.pkg"};
    LauncherChannel launcher = channel(arguments);
    launcher.notifyLauncher(launcher::kReadHeaderCommand);
    launcher.notifyLauncher(launcher::kQuietInstallerCommand);
    EXPECT_EQ(state.launcherWindow, platform::kNoWindow);
    EXPECT_TRUE(windows.received.empty());
    EXPECT_EQ(windows.sendsToNoWindow, 0) << "nothing is even tried";

    // A launcher named later in the run (the driver resets the state) is found
    // by the next command.
    const WindowHandle late = windows.addWindow("Late");
    LauncherChannel second = channel({"/q", switchFor(late)});
    second.notifyLauncher(launcher::kReadHeaderCommand);
    EXPECT_EQ(state.launcherWindow, late);
    EXPECT_EQ(windows.received.size(), 1u);
}

TEST_F(Launcher, TheFirstLauncherSwitchWinsEvenWhenItNamesNoWindow) {
    const WindowHandle first = windows.addWindow("First");
    const WindowHandle second = windows.addWindow("Second");
    LauncherChannel both = channel({switchFor(first), switchFor(second)});
    both.notifyLauncher("a");
    EXPECT_EQ(state.launcherWindow, first);

    state = {};
    windows.received.clear();
    LauncherChannel malformedFirst = channel({"/l=-" + std::to_string(second), switchFor(second)});
    malformedFirst.notifyLauncher("b");
    EXPECT_EQ(state.launcherWindow, platform::kNoWindow);
    EXPECT_TRUE(windows.received.empty());

    state = {};
    LauncherChannel capitalFirst = channel({"/L=" + std::to_string(first), switchFor(second)});
    capitalFirst.notifyLauncher("c");
    EXPECT_EQ(state.launcherWindow, second);
}

TEST_F(Launcher, AMissingOrDeadLauncherCostsNothing) {
    LauncherChannel nowhere = channel({"/l=12345"});
    nowhere.notifyLauncher(launcher::kReadHeaderCommand);
    nowhere.notifyLauncher(launcher::kQuietInstallerCommand);
    EXPECT_EQ(state.launcherWindow, 12345u);
    EXPECT_EQ(windows.sendsToNoWindow, 2);
    EXPECT_TRUE(windows.received.empty());

    state = {};
    windows.sendsToNoWindow = 0;
    const WindowHandle launcherWindow = windows.addWindow("Launcher");
    LauncherChannel dying = channel({switchFor(launcherWindow)});
    dying.notifyLauncher(launcher::kReadHeaderCommand);
    windows.destroy(launcherWindow);
    dying.notifyLauncher(makeActiveSaverCommand("x.scr"));
    dying.postCloseToLauncher();
    EXPECT_EQ(windows.received.size(), 1u);
    EXPECT_EQ(windows.sendsToNoWindow, 1);
    EXPECT_EQ(state.launcherWindow, launcherWindow) << "the handle is kept";
    ASSERT_EQ(windows.posted.size(), 1u);
    EXPECT_EQ(windows.posted[0].target, launcherWindow);
}

TEST_F(Launcher, AnyReplyIsIgnored) {
    for (std::int32_t reply : {0, 1, -1, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()}) {
        state = {};
        windows.received.clear();
        const WindowHandle launcherWindow = windows.addWindow("Launcher", reply);
        LauncherChannel launcher = channel({switchFor(launcherWindow)});
        launcher.notifyLauncher(launcher::kReadHeaderCommand);
        launcher.notifyLauncher(launcher::kQuietInstallerCommand);
        EXPECT_EQ(windows.received.size(), 2u) << reply;
        EXPECT_EQ(state.launcherWindow, launcherWindow) << reply;
    }
}

TEST_F(Launcher, TheCloseNotificationIsPostedWithZeroParameters) {
    const WindowHandle launcherWindow = windows.addWindow("Launcher");
    LauncherChannel launcher = channel({switchFor(launcherWindow)});
    launcher.notifyLauncher(launcher::kReadHeaderCommand);
    launcher.postCloseToLauncher();
    ASSERT_EQ(windows.posted.size(), 1u);
    EXPECT_EQ(windows.posted[0].target, launcherWindow);
    EXPECT_EQ(windows.posted[0].message, 0x0501u);
    EXPECT_EQ(windows.posted[0].wParam, 0u);
    EXPECT_EQ(windows.posted[0].lParam, 0);
}

TEST_F(Launcher, ARunThatEndsBeforeItsFirstCommandStillTellsTheLauncher) {
    const WindowHandle launcherWindow = windows.addWindow("Launcher");
    LauncherChannel launcher = channel({switchFor(launcherWindow)});
    launcher.postCloseToLauncher();
    ASSERT_EQ(windows.posted.size(), 1u);
    EXPECT_EQ(windows.posted[0].target, launcherWindow);
    EXPECT_TRUE(windows.received.empty()) << "looking for it sends nothing";
}

TEST_F(Launcher, WithoutALauncherTheCloseGoesToTheOwnQueue) {
    LauncherChannel launcher = channel({"/q"});
    launcher.postCloseToLauncher();
    ASSERT_EQ(windows.posted.size(), 1u);
    EXPECT_EQ(windows.posted[0].target, platform::kNoWindow);
    EXPECT_EQ(windows.posted[0].message, launcher::kCloseNotification);
}

TEST_F(Launcher, EveryQuietSwitchIsAnnounced) {
    const WindowHandle launcherWindow = windows.addWindow("Launcher");
    LauncherChannel launcher = channel({"/Q", switchFor(launcherWindow), "/quiet", "/q", "q"});
    EXPECT_TRUE(launcher.announceQuietSwitches());
    ASSERT_EQ(windows.received.size(), 2u);
    EXPECT_EQ(windows.received[0].bytes, "quiet installer\0"s);
    EXPECT_EQ(windows.received[1].bytes, "quiet installer\0"s);

    windows.received.clear();
    LauncherChannel loud = channel({switchFor(launcherWindow), "/quiet", "/qq"});
    EXPECT_FALSE(loud.announceQuietSwitches());
    EXPECT_TRUE(windows.received.empty());
}

} // namespace
