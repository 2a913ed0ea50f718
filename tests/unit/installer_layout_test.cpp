#include "app/installer_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/form_states.h"
#include "app/preparing_window_layout.h"

namespace {

using namespace layout;

// Frames as the view measures them: the classic look (3 and 4 pixel borders,
// 19 pixel caption) and a themed look with a taller caption.
constexpr FrameSizes kClassic{{6, 25}, {8, 27}};
constexpr FrameSizes kThemed{{6, 31}, {8, 33}};

// The window as the preparation leaves it, ready for the user.
InstallerFormLayout readyForm(const FrameSizes& frames, LicenceSetup licence,
                              std::string_view title = "Aquarium", Size screen = {1024, 768}) {
    InstallerFormLayout form = makeInstallerForm(frames);
    setPreparationSizes(form);
    setInstallerCaption(form, {}, title);
    setupLicenceAndButtons(form, {}, licence);
    setReadyState(form, screen.width, screen.height);
    return form;
}

TEST(InstallerLayout, ReadyWindowWithAndWithoutLicence) {
    struct Row {
        const char* name;
        FrameSizes frames;
        LicenceSetup licence;
        std::string_view title;
        Size screen;
        // expected
        Size outer;
        Size client;
        BorderStyle border;
        SizeLimits limits;
        Position position;
        std::string caption;
        Bounds buttonPanel, installBtn, cancelBtn, doneBtn, progressBar, licenseScrollBox;
        std::string installCaption;
    };
    const Row rows[] = {
        {"no licence",
         kClassic,
         LicenceSetup::none,
         "Aquarium",
         {1024, 768},
         {490, 363},
         {484, 338},
         BorderStyle::fixed,
         {0, 340, 0, 0},
         {267, 202},
         "Install Screen Saver: Aquarium",
         {1, 275, 482, 63},
         {315, 36, 80, 25},
         {401, 36, 80, 25},
         {400, 36, 80, 25},
         {1, 20, 480, 12},
         {0, 275, 484, 103},
         "Install"},
        {"licence",
         kClassic,
         LicenceSetup::shown,
         "Night Saver",
         {1023, 767},
         {490, 472},
         {482, 445},
         BorderStyle::sizeable,
         {490, 465, 490, 0},
         {266, 147},
         "Install: Night Saver",
         {1, 382, 480, 63},
         {278, 36, 115, 25},
         {399, 36, 80, 25},
         {398, 36, 80, 25},
         {1, 20, 478, 12},
         {0, 275, 482, 103},
         "Accept and Install"},
        // A screen lower than the window: the top rounds toward zero, to -4.
        {"no licence, themed",
         kThemed,
         LicenceSetup::none,
         "Sea Life",
         {640, 360},
         {490, 369},
         {484, 338},
         BorderStyle::fixed,
         {0, 340, 0, 0},
         {75, -4},
         "Install Screen Saver: Sea Life",
         {1, 275, 482, 63},
         {315, 36, 80, 25},
         {401, 36, 80, 25},
         {400, 36, 80, 25},
         {1, 20, 480, 12},
         {0, 275, 484, 103},
         "Install"},
        {"licence, themed",
         kThemed,
         LicenceSetup::shown,
         "Sea Life screensaver",
         {490, 477},
         {490, 478},
         {482, 445},
         BorderStyle::sizeable,
         {490, 465, 490, 0},
         {0, 0},
         "Install: Sea Life screensaver",
         {1, 382, 480, 63},
         {278, 36, 115, 25},
         {399, 36, 80, 25},
         {398, 36, 80, 25},
         {1, 20, 478, 12},
         {0, 275, 482, 103},
         "Accept and Install"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const InstallerFormLayout form = readyForm(row.frames, row.licence, row.title, row.screen);
        EXPECT_EQ(form.outer, row.outer);
        EXPECT_EQ(form.client, row.client);
        EXPECT_EQ(form.border, row.border);
        EXPECT_EQ(form.limits, row.limits);
        EXPECT_EQ(form.position, row.position);
        EXPECT_EQ(form.caption, row.caption);
        EXPECT_TRUE(form.stayOnTop);
        EXPECT_EQ(form.buttonPanel.bounds, row.buttonPanel);
        EXPECT_EQ(form.installBtn.bounds, row.installBtn);
        EXPECT_EQ(form.cancelBtn.bounds, row.cancelBtn);
        EXPECT_EQ(form.doneBtn.bounds, row.doneBtn);
        EXPECT_EQ(form.progressBar.bounds, row.progressBar);
        EXPECT_EQ(form.licenseScrollBox.bounds, row.licenseScrollBox);
        EXPECT_EQ(form.licenseScrollBox.visible, row.licence == LicenceSetup::shown);
        EXPECT_EQ(form.installBtn.caption, row.installCaption);
        EXPECT_EQ(form.cancelBtn.caption, "Cancel");
        EXPECT_EQ(form.doneBtn.caption, "Close");
        // Cancel ends 1 pixel before the panel's edge, Install 6 before Cancel.
        EXPECT_EQ(form.cancelBtn.bounds.right(), form.buttonPanel.bounds.width - 1);
        EXPECT_EQ(form.installBtn.bounds.right(), form.cancelBtn.bounds.left - 6);
        // The preview keeps the resource's place and size.
        EXPECT_EQ(form.contentPanel.bounds, (Bounds{0, 1, 482, 272}));
        EXPECT_EQ(form.bmpPanel.bounds, (Bounds{1, 1, 480, 270}));
        EXPECT_EQ(form.moviePanel1.bounds, (Bounds{1, 1, 480, 270}));
        EXPECT_EQ(form.progress, (ProgressState{0, 10, 0, 1}));
        EXPECT_FALSE(form.labCopying.visible);
        EXPECT_FALSE(form.doneBtn.visible);
        EXPECT_FALSE(form.focus.has_value());
    }
}

TEST(InstallerLayout, DraggingMakesOnlyTheLicenceBoxTaller) {
    struct Row {
        Size requested;
        Size outer;         // what the limits allow
        int buttonPanelTop; // client height - 63
        int licenceHeight;
    };
    const Row rows[] = {
        {{490, 600}, {490, 600}, 510, 231},
        {{700, 520}, {490, 520}, 430, 151}, // the width is held at 490
        {{490, 473}, {490, 473}, 383, 104},
        // At the minimum height the box keeps its own minimum of 103.
        {{300, 300}, {490, 465}, 375, 103},
    };
    const InstallerFormLayout ready = readyForm(kClassic, LicenceSetup::shown);
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "requested " << row.requested);
        InstallerFormLayout form = ready;
        userResize(form, row.requested);
        EXPECT_EQ(form.outer, row.outer);
        EXPECT_EQ(form.client, (Size{482, row.outer.height - 27}));
        EXPECT_EQ(form.buttonPanel.bounds, (Bounds{1, row.buttonPanelTop, 480, 63}));
        EXPECT_EQ(form.licenseScrollBox.bounds, (Bounds{0, 275, 482, row.licenceHeight}));
        // Nothing else moves or changes size.
        InstallerFormLayout others = form;
        others.outer = ready.outer;
        others.client = ready.client;
        others.buttonPanel.bounds = ready.buttonPanel.bounds;
        others.licenseScrollBox.bounds = ready.licenseScrollBox.bounds;
        EXPECT_EQ(others, ready);
    }
    // Without a licence the border is fixed and refuses every drag.
    const InstallerFormLayout fixed = readyForm(kClassic, LicenceSetup::none);
    InstallerFormLayout dragged = fixed;
    userResize(dragged, {490, 600});
    EXPECT_EQ(dragged, fixed);
}

TEST(InstallerLayout, SizeLimits) {
    struct Row {
        SizeLimits limits;
        Size requested;
        Size allowed;
    };
    const Row rows[] = {
        {{490, 465, 490, 0}, {600, 300}, {490, 465}},
        {{490, 465, 490, 0}, {100, 5000}, {490, 5000}}, // no maximum height
        {{0, 0, 0, 0}, {-5, 7}, {-5, 7}},               // 0 is no limit
        {{0, 340, 0, 0}, {490, 339}, {490, 340}},
        {{10, 10, 20, 20}, {20, 21}, {20, 20}},
        {{500, 0, 400, 0}, {450, 0}, {400, 0}}, // a maximum below the minimum wins
    };
    for (const Row& row : rows)
        EXPECT_EQ(constrainToLimits(row.limits, row.requested), row.allowed)
            << "requested " << row.requested;
}

TEST(InstallerLayout, VisibleStatesFollowOneAnother) {
    using Step = std::function<void(InstallerFormLayout&)>;
    const auto installing = [](int steps) {
        return [steps](InstallerFormLayout& form) {
            setInstallingState(form);
            for (int i = 0; i < steps; ++i)
                advanceProgressBar(form);
        };
    };
    const auto failed = [&](ResultCode code) {
        return std::vector<Step>{installing(2), [code](auto& form) { setFailedState(form, code); }};
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        // expected
        bool statusVisible;
        std::string status;
        int progress;
        bool installVisible, installEnabled, cancelVisible, cancelEnabled, doneVisible;
        bool doneFocused;
    };
    const std::string leftFromResource =
        readyForm(kClassic, LicenceSetup::shown).labCopying.caption;
    const Row rows[] = {
        {"ready", {}, false, leftFromResource, 0, true, true, true, true, false, false},
        {"installing",
         {installing(3)},
         true,
         "Installing Screen Saver...",
         3,
         true,
         false,
         true,
         true,
         false,
         false},
        {"success before the pause",
         {installing(3), fillProgressBar},
         true,
         "Installing Screen Saver...",
         10,
         true,
         false,
         true,
         true,
         false,
         false},
        {"complete",
         {installing(3), fillProgressBar, setCompleteState},
         true,
         "Screensaver Installation and Setup Complete.",
         0,
         false,
         false,
         false,
         true,
         true,
         true},
        {"failed, access denied", failed(5), true,
         "Installation Aborted: Insufficient user account privileges.", 0, true, false, true, true,
         false, false},
        {"failed, saver busy", failed(-38), true,
         "Installation Aborted: Screensaver cannot be replaced.", 0, true, false, true, true, false,
         false},
        {"failed, other code", failed(-531), true, "Install failed. Error: -531", 0, true, false,
         true, true, false, false},
        {"failed, Windows code", failed(32), true, "Install failed. Error: 32", 0, true, false,
         true, true, false, false},
        {"aborting",
         {installing(4), setAbortingState},
         true,
         "Installation Aborted. Cleaning up files...",
         0,
         true,
         false,
         true,
         true,
         false,
         false},
        {"ready after abort",
         {installing(4), setAbortingState, setReadyAfterAbortState},
         true,
         "",
         0,
         true,
         true,
         true,
         true,
         false,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        InstallerFormLayout form = readyForm(kClassic, LicenceSetup::shown);
        const InstallerFormLayout before = form;
        for (const Step& step : row.steps)
            step(form);
        EXPECT_EQ(form.labCopying.visible, row.statusVisible);
        EXPECT_EQ(form.labCopying.caption, row.status);
        EXPECT_EQ(form.progress.position, row.progress);
        EXPECT_EQ(form.progress.maximum, 10);
        EXPECT_EQ(form.installBtn.visible, row.installVisible);
        EXPECT_EQ(form.installBtn.enabled, row.installEnabled);
        EXPECT_EQ(form.installBtn.caption, "Accept and Install");
        EXPECT_EQ(form.cancelBtn.visible, row.cancelVisible);
        EXPECT_EQ(form.cancelBtn.enabled, row.cancelEnabled);
        EXPECT_EQ(form.doneBtn.visible, row.doneVisible);
        EXPECT_EQ(form.focus == Control::doneBtn, row.doneFocused);
        EXPECT_FALSE(form.labFile.visible);
        // The states change no size or place.
        for (int i = 0; i < kControlCount; ++i)
            EXPECT_EQ(control(form, Control(i)).bounds, control(before, Control(i)).bounds)
                << controlName(Control(i));
        EXPECT_EQ(form.outer, before.outer);
        EXPECT_EQ(form.position, before.position);
    }
}

TEST(InstallerLayout, ProgressBarStaysInItsRange) {
    InstallerFormLayout form = makeInstallerForm(kClassic);
    setProgressPosition(form, 50);
    setProgressMaximum(form, 10);
    EXPECT_EQ(form.progress.position, 10) << "a smaller maximum pulls the position down";
    // A step may reach the maximum; only a step past it starts the bar over.
    const struct {
        int from;
        int to;
    } steps[] = {{0, 1}, {8, 9}, {9, 10}, {10, 0}};
    for (const auto& step : steps) {
        setProgressPosition(form, step.from);
        advanceProgressBar(form);
        EXPECT_EQ(form.progress.position, step.to) << "a step from " << step.from;
    }
    setProgressPosition(form, -3);
    EXPECT_EQ(form.progress.position, 0);
    setProgressPosition(form, 11);
    EXPECT_EQ(form.progress.position, 10);
}

TEST(PreparingWindow, CreatedOffScreenAndCentredRoundingTowardZero) {
    PreparingWindowLayout window =
        makePreparingWindow({6, 25}, "C:\\Program Files\\Savers\\Aquarium Setup.exe", {});
    EXPECT_EQ(window.position, (Position{-1560, -3000}));
    EXPECT_EQ(window.client, (Size{264, 91}));
    EXPECT_EQ(outerSize(window), (Size{270, 116}));
    EXPECT_EQ(window.border, BorderStyle::fixed);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.title, "Aquarium Setup.exe");
    EXPECT_EQ(window.Label1,
              (ControlState{{0, 0, 264, 91}, true, true, "Preparing Installation..."}));

    setMessage(window, "Installing Screen Saver...");
    EXPECT_EQ(window.Label1.caption, "Installing Screen Saver...");
    EXPECT_EQ(window.Label1.bounds, (Bounds{0, 0, 264, 91}));

    struct Row {
        Size screen;
        Position position;
    };
    const Row rows[] = {
        {{1024, 768}, {377, 326}},
        {{1023, 767}, {376, 325}}, // halves of odd differences round down ...
        {{269, 115}, {0, 0}},      // ... and up when negative: toward zero
        {{101, 51}, {-84, -32}},
        {{100, 50}, {-85, -33}},
    };
    for (const Row& row : rows) {
        moveOffScreen(window);
        EXPECT_EQ(window.position, (Position{-3000, -3000}));
        centerOnScreen(window, row.screen.width, row.screen.height);
        EXPECT_EQ(window.position, row.position) << "screen " << row.screen;
    }
    EXPECT_EQ(makePreparingWindow({}, "setup.exe", {}).title, "setup.exe");
}

} // namespace
