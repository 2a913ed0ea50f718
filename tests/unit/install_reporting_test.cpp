#include "system/install_reporting.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/recording_view.h"

namespace {

using platform::DialogButton;
using platform::DialogKind;

struct Reporting : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::RecordingView view{fakes.ui};
    InstallReporter reporter{platform, view};

    std::string shownMessage(ResultCode code, const std::string& fileName) {
        fakes.ui.dialogs.clear();
        reporter.showInstallError(code, fileName);
        EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
        const auto& dialog = fakes.ui.dialogs.back();
        EXPECT_EQ(dialog.kind, DialogKind::Error);
        EXPECT_EQ(dialog.buttons, std::vector<DialogButton>{DialogButton::Abort});
        return dialog.text;
    }
};

TEST_F(Reporting, StatusAndProgressReachTheViewAndPause) {
    reporter.setStatusText("Writing screen saver files...");
    reporter.stepProgress();
    reporter.stepProgress();
    EXPECT_TRUE(view.statusVisible);
    EXPECT_EQ(view.statusTexts, std::vector<std::string>{"Writing screen saver files..."});
    EXPECT_EQ(view.progress, 2);
    EXPECT_EQ(view.pauseIntervals, (std::vector<std::uint32_t>{100, 100}));
    EXPECT_EQ(fakes.ui.broughtToFront, 2);
}

TEST_F(Reporting, QuietModeChangesNothingAndDoesNotPause) {
    reporter.runMode = kQuietRunMode;
    reporter.setStatusText("Expanding files...");
    reporter.stepProgress();
    EXPECT_FALSE(view.statusVisible);
    EXPECT_TRUE(view.statusTexts.empty());
    EXPECT_EQ(view.progress, 0);
    EXPECT_EQ(fakes.ui.pausesStarted, 0);
    EXPECT_EQ(fakes.ui.messagesHandled, 0);
    // File errors are still shown.
    reporter.showInstallError(-30, "x.dat");
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
}

TEST_F(Reporting, CancelClickDuringAStepIsSeenBeforeItReturns) {
    reporter.flags.installRunning = true;
    fakes.ui.duringPause(2, [&] { reporter.flags.installCancelled = true; });
    reporter.stepProgress();
    EXPECT_FALSE(reporter.cancelled());
    reporter.stepProgress();
    EXPECT_TRUE(reporter.cancelled());
    // The click and the timer were both handled inside the second pause.
    EXPECT_EQ(fakes.ui.messagesHandled, 3);
}

TEST_F(Reporting, PauseHandlesMessagesUntilTheTimerFires) {
    int clicks = 0;
    fakes.ui.duringPause(1, [&] { ++clicks; });
    fakes.ui.duringPause(1, [&] { ++clicks; });
    reporter.pauseBriefly();
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(view.pauseTimerEnabled());
    EXPECT_EQ(fakes.ui.messagesHandled, 3);

    // Without a timer nothing would end the wait: the step goes on at once.
    fakes.ui.timerFails = true;
    reporter.pauseBriefly();
    EXPECT_EQ(fakes.ui.messagesHandled, 3);
    EXPECT_EQ(fakes.ui.broughtToFront, 2);
}

TEST_F(Reporting, InstallErrorMessagesByCode) {
    EXPECT_EQ(shownMessage(5, "C:\\WINDOWS\\system32\\Aqua5405.scr"),
              "Installation Error: C:\\WINDOWS\\system32\\Aqua5405.scr\r\n\r\n"
              "Insufficient user account privileges.\r\n\r\nThe current user account has "
              "insufficient privileges to install screen savers. Please contact your system "
              "administrator for help in performing this installation.");
    EXPECT_EQ(shownMessage(-523, "C:\\w\\temp.dat"),
              "Installation Error: C:\\w\\temp.dat\r\n\r\nPlease retry installation. If this "
              "message appears again, the installation cannot be completed because your user "
              "account has limited installation privileges. To complete this installation, login "
              "with administrative privileges and rerun this installer.");
    EXPECT_EQ(shownMessage(-38, "ignored"),
              "Installation Error: Screensaver cannot be replaced.\r\n\r\nPlease close the screen "
              "saver control panel and try again. If the install fails again, you may have "
              "insufficient privileges to install screen savers. Please contact your system "
              "administrator for assistance.");
    EXPECT_EQ(shownMessage(-34, "setup.exe"),
              "Installation Error: Installer may be corrupted. Please get a new copy and try "
              "installation again.\r\n\r\nFile: setup.exe");
    EXPECT_EQ(shownMessage(-32, "a.dll"),
              "Installation Error:  File is busy and cannot be replaced. Please close any other "
              "application that may be using this file and try again.\r\n\r\nFile: a.dll");
    EXPECT_EQ(shownMessage(-1, "ignored"), "Installation Error: ");
    EXPECT_EQ(shownMessage(-30, "C:\\x.dat"),
              "Installation Error: C:\\x.dat\r\n\r\nProblem with file C:\\x.dat. ");
    EXPECT_EQ(shownMessage(32, ""), "Installation Error: \r\n\r\nProblem with file . ");
}

TEST_F(Reporting, CopyFailureMessageInsertsThePlatformTextForItsCode) {
    fakes.system.errorTexts[-523] = " (text)";
    EXPECT_EQ(shownMessage(-523, "f").substr(0, 30), "Installation Error: f (text)\r\n");
}

} // namespace
