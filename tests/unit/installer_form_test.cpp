// The installation driver through the fake platform and a recording view:
// how the preparation ends, what an installation leaves behind, and what the
// buttons do while it runs.
#include <functional>

#include <gtest/gtest.h>

#include "app/installer_form.h"
#include "base/texts.h"
#include "fakes/recording_installer_view.h"
#include "package_fixture.h"
#include "sample_movie.h"
#include "system/uninstall_entry.h"

namespace {

using namespace packagetest;
using platform::DialogButton;
using platform::RegistryRoot;

const std::string kLocal = "C:\\Documents and Settings\\User\\Local Settings\\Application Data\\";
const std::string kWorkFolder = kLocal + "Vellarmont\\Vlx1\\";
const std::string kCommon = "C:\\Documents and Settings\\All Users\\Application Data\\";
const std::string kSaverFolder = kCommon + "Vellarmont\\Aqua5405\\";
const std::string kEngine = kSystem + "Aqua5405.scr";
const std::string kTitle = "Aquarium Screen Saver";

// The messages about the player that end a failed preparation.
const std::string kPlayerRequiredMessage =
    "This screen saver requires the latest Adobe Flash Player for Internet Explorer.\r\n\r\n"
    "Please download the free player from http://www.adobe.com/go/getflashplayer and retry this "
    "installation.";
const std::string kPlayerUpdateFailedMessage =
    "Adobe Flash Player Installation Failed.\r\n\r\nThis screen saver requires the Adobe Flash "
    "Player. Please download and install the latest Adobe Flash Player for Internet Explorer from "
    "http://www.adobe.com/go/getflashplayer then retry this installation. If this message appears "
    "again, the installation cannot be completed because your user account has limited "
    "installation privileges. To complete this installation, login with administrative "
    "privileges and rerun this installer.";

std::string commandText(const fake::FakeMessaging::CopyData& data) {
    return data.bytes.substr(0, data.bytes.find('\0'));
}

// A machine with the installer on it, a launcher window and the player.
struct Driver : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::RecordingInstallerView view{fakes.ui};
    platform::WindowHandle launcherWindow = fakes.messaging.addWindow("Launcher");
    std::unique_ptr<TInstallerForm> installer;

    Driver() {
        fakes.files.addFolder(kSystem);
        fakes.files.addFolder(kLocal);
        fakes.files.addFolder(kCommon);
        fakes.players.install("WIN 10,0,12,36");
        fakes.libraries.addLibrary(
            kWorkFolder + "impborl.dll",
            {{"_implode", reinterpret_cast<platform::ExportedFunction>(&implode::implode)},
             {"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)},
             {"_crc32", reinterpret_cast<platform::ExportedFunction>(&implode::crc32)}});
    }

    static PackageContent package(std::uint8_t mode, bool offerControlPanel = true) {
        PackageContent content = standardPackage({});
        content.header.installMode = mode;
        content.header.offerControlPanel = offerControlPanel ? 1 : 0;
        return content;
    }

    // Starts the installer on the package, as its window's creation does;
    // the entry `wrongSize` claims 10 bytes more than it expands to.
    void start(const PackageContent& content, std::vector<std::string> arguments = {},
               std::optional<std::size_t> wrongSize = std::nullopt) {
        Bytes bytes = layOut(content);
        if (wrongSize) {
            const auto record = std::span(bytes).subspan(kStubSize).first<kInstallerHeaderSize>();
            InstallerHeader header = readInstallerHeaderRecord(record);
            header.entries[*wrongSize].expandedSize += 10;
            const HeaderBytes written = writeInstallerHeaderRecord(header);
            std::copy(written.begin(), written.end(), record.begin());
        }
        fakes.files.addFile(kExe, textOf(bytes));
        arguments.insert(arguments.begin(), "/l=" + std::to_string(launcherWindow));
        installer = std::make_unique<TInstallerForm>(platform, view, arguments, kExe);
        installer->context().packageOffset = kStubSize;
        installer->FormCreate();
    }

    std::vector<std::string> commands() const {
        std::vector<std::string> texts;
        for (const auto& data : fakes.messaging.received)
            texts.push_back(commandText(data));
        return texts;
    }
    bool closePosted() const {
        for (const auto& post : fakes.messaging.posted)
            if (post.target == launcherWindow && post.message == launcher::kCloseNotification)
                return true;
        return false;
    }
    std::vector<std::string> dialogTexts() const {
        std::vector<std::string> texts;
        for (const auto& dialog : fakes.ui.dialogs)
            texts.push_back(dialog.text);
        return texts;
    }
    bool installed() {
        return fakes.files.folderExists(kSaverFolder) && fakes.files.fileExists(kEngine) &&
               fakes.registry.keyExists(RegistryRoot::LocalMachine, uninstallKeyPath(kTitle));
    }
    // Nothing of the saver, and no work folder.
    void expectNothingLeft() const {
        EXPECT_FALSE(fakes.files.exists(kSaverFolder));
        EXPECT_FALSE(fakes.files.exists(kEngine));
        EXPECT_FALSE(
            fakes.registry.keyExists(RegistryRoot::LocalMachine, uninstallKeyPath(kTitle)));
        EXPECT_FALSE(fakes.files.exists(kWorkFolder));
    }
    const layout::InstallerFormLayout& form() const { return *view.form; }
};

// A fresh machine for one row of a table.
struct Machine final : Driver {
    void TestBody() override {}
};

TEST(PreparationReport, MessagesOfTheReportTable) {
    const auto report = [](ResultCode code) { return preparationErrorReport(code); };
    EXPECT_FALSE(report(result::kUserAbort));
    EXPECT_EQ(report(-455)->text, "This screen saver is not compatible with Windows NT.");
    EXPECT_EQ(report(-455)->button, DialogButton::Abort);
    EXPECT_EQ(report(-13)->text, "Installer file is corrupted. Vellarmont Error: -13. ");
    EXPECT_EQ(report(-13)->kind, platform::DialogKind::Error);
    const auto required = report(result::kFlashPlayerRequired);
    EXPECT_EQ(required->kind, platform::DialogKind::Information);
    EXPECT_EQ(required->button, DialogButton::Ok);
    EXPECT_EQ(required->text, kPlayerRequiredMessage);
    const auto failed = report(result::kFlashUpdateFailed);
    EXPECT_EQ(failed->kind, platform::DialogKind::Error);
    EXPECT_EQ(failed->button, DialogButton::Ok);
    EXPECT_EQ(failed->text, kPlayerUpdateFailedMessage);
}

TEST_F(Driver, AnInteractivePackageWaitsReadyForTheUser) {
    // The shortcut that restarts this installer after a reboot goes at once.
    const std::string shortcut = "C:\\Startup\\1989660035_installer.lnk";
    fakes.system.setSpecialFolder(7, "C:\\Startup");
    fakes.files.addFile(shortcut);
    start(package(installmode::kBitmap));
    EXPECT_FALSE(fakes.files.exists(shortcut));
    EXPECT_TRUE(view.shown);
    EXPECT_FALSE(installer->closed());
    EXPECT_EQ(form().installBtn.caption, "Install");
    EXPECT_TRUE(form().installBtn.enabled);
    EXPECT_EQ(form().progress.maximum, 10);
    EXPECT_EQ(form().caption, "Install: Aquarium Screen Saver");
    EXPECT_EQ(view.picturesLoaded, std::vector<std::string>{kWorkFolder + "preview.BMP"});
    EXPECT_EQ(view.preparing->position, (layout::Position{-3000, -3000}));
    EXPECT_EQ(commands(), std::vector<std::string>{"read installer heard file"});
    EXPECT_FALSE(installed());
}

TEST_F(Driver, QuietRunsEndWithTheInstallationsResult) {
    const struct {
        const char* what;
        std::uint8_t mode;
        std::vector<std::string> arguments;
        bool offer;
        std::vector<std::string> commands;
    } cases[] = {
        {"quiet package",
         installmode::kQuiet,
         {},
         true,
         {"read installer heard file", "makeActiveSaver-Aqua5405.scr",
          "openScreenSaverControlPanel"}},
        {"quiet package, no control panel",
         installmode::kQuiet,
         {},
         false,
         {"read installer heard file", "makeActiveSaver-Aqua5405.scr"}},
        {"/q",
         installmode::kBitmap,
         {"/Q"},
         true,
         {"read installer heard file", "quiet installer", "makeActiveSaver-Aqua5405.scr"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.start(package(c.mode, c.offer), c.arguments);
        EXPECT_EQ(test.commands(), c.commands);
        EXPECT_TRUE(test.installed());
        EXPECT_EQ(test.view.terminatedWith, 0);
        EXPECT_FALSE(test.view.shown);
        EXPECT_TRUE(test.view.picturesLoaded.empty());
        EXPECT_FALSE(test.fakes.files.exists(kWorkFolder));
        EXPECT_TRUE(test.closePosted());
        EXPECT_TRUE(test.fakes.ui.dialogs.empty());
    }
}

TEST_F(Driver, FailuresEndTheRunAndLeaveNothing) {
    const struct {
        const char* what;
        std::uint8_t mode;
        std::vector<std::string> arguments;
        std::optional<std::size_t> wrongSize;
        bool noPlayer;
        std::vector<std::string> dialogs;
        std::int32_t exitCode;
        bool controlPanelCommand;
    } cases[] = {
        {"no player",
         installmode::kQuiet,
         {},
         std::nullopt,
         true,
         {kPlayerRequiredMessage},
         result::kFlashPlayerRequired,
         false},
        {"/q extracts the preview", installmode::kBitmap, {"/q"}, 3, false, {}, -13, false},
        {"quiet install fails", installmode::kQuiet, {}, 6, false, {}, -13, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        if (c.noPlayer)
            test.fakes.players.createsFromAttempt.reset();
        test.start(package(c.mode), c.arguments, c.wrongSize);
        EXPECT_EQ(test.view.terminatedWith, c.exitCode);
        EXPECT_FALSE(test.view.shown);
        test.expectNothingLeft();
        EXPECT_TRUE(test.closePosted());
        const auto commands = test.commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "openScreenSaverControlPanel"),
                  c.controlPanelCommand ? 1 : 0);
        if (!c.dialogs.empty()) {
            EXPECT_EQ(test.dialogTexts(), c.dialogs);
        }
    }
}

TEST_F(Driver, APlayerUpdateThatFailsMovesTheWindowAway) {
    PackageContent content = package(installmode::kBitmap);
    content.entries[2] = entryOf(kFlashInstallerName, 4, compressible(300, 'f'));
    content.header.carriesFlashInstaller = 1;
    fakes.players.createsFromAttempt.reset();
    start(content);
    EXPECT_EQ(view.form->position, (layout::Position{-3000, -3000}));
    EXPECT_EQ(dialogTexts(), std::vector<std::string>{kPlayerUpdateFailedMessage});
    EXPECT_EQ(view.terminatedWith, 0);
    expectNothingLeft();
}

TEST_F(Driver, AMovieThatCannotPlayInstallsInTheStartUpWindow) {
    PackageContent content = package(installmode::kMovie);
    content.entries[3] = entryOf("preview.swf", 4, bytesOf("not a movie at all"));
    fakes.ui.answers = {DialogButton::Yes};
    start(content);
    EXPECT_EQ(view.preparingMessages,
              (std::vector<std::string>{"Preparing Installation...", "Installing Screen Saver...",
                                        "Installation Successful."}));
    EXPECT_EQ(view.preparing->title, "Install: Aquarium Screen Saver");
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text, std::string(text::kOpenControlPanelQuestion.text));
    EXPECT_EQ(commands(),
              (std::vector<std::string>{"read installer heard file", "makeActiveSaver-Aqua5405.scr",
                                        "openScreenSaverControlPanel"}));
    EXPECT_EQ(installer->runMode(), installmode::kMovie) << "the package's mode again";
    EXPECT_TRUE(installed());
    EXPECT_FALSE(view.shown);
    EXPECT_EQ(view.terminatedWith, 0);
}

TEST_F(Driver, InstallThenCloseWithTheControlPanelQuestion) {
    const std::vector<std::string> installing{"read installer heard file",
                                              "makeActiveSaver-Aqua5405.scr"};
    const struct {
        const char* what;
        bool offer;
        std::vector<std::string> dialogs;
        std::string status;
        std::vector<std::string> extraCommands;
    } cases[] = {
        {"offered, answered Yes",
         true,
         {std::string(text::kOpenControlPanelQuestion.text)},
         "Opening the Display Properties control panel. Please standby...",
         {"openScreenSaverControlPanel"}},
        // Not offered: no question, the window closes at once.
        {"not offered", false, {}, "Screensaver Installation and Setup Complete.", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.start(package(installmode::kBitmap, c.offer));
        test.fakes.ui.answers = {DialogButton::Yes};
        test.view.events->installBtnClick();
        EXPECT_TRUE(test.installed());
        EXPECT_EQ(test.dialogTexts(), c.dialogs);
        EXPECT_EQ(test.form().labCopying.caption, c.status);
        EXPECT_TRUE(test.form().doneBtn.visible);
        std::vector<std::string> commands = installing;
        commands.insert(commands.end(), c.extraCommands.begin(), c.extraCommands.end());
        EXPECT_EQ(test.commands(), commands);
        EXPECT_TRUE(test.installer->closed());
        EXPECT_EQ(test.view.terminatedWith, 0);
        EXPECT_FALSE(test.fakes.files.exists(kWorkFolder));
    }
}

// Install clicked again in any pause of a running installation is refused:
// one installation runs, and the launcher hears of it once.
TEST_F(Driver, InstallClickedAgainWhileInstallingIsRefused) {
    start(package(installmode::kBitmap));
    fakes.ui.answers = {DialogButton::Yes};
    const int pausesBefore = fakes.ui.pausesStarted;
    view.events->installBtnClick();
    const int pauses = fakes.ui.pausesStarted - pausesBefore;
    ASSERT_GT(pauses, 2);
    for (int pause = 1; pause <= pauses; ++pause) {
        SCOPED_TRACE(::testing::Message() << "clicked in pause " << pause);
        Machine test;
        test.start(package(installmode::kBitmap));
        test.fakes.ui.answers = {DialogButton::Yes};
        const int started = test.fakes.ui.pausesStarted;
        bool clicked = false;
        test.fakes.ui.duringPause(started + pause, [&] {
            clicked = true;
            test.view.events->installBtnClick();
        });
        test.view.events->installBtnClick();
        EXPECT_TRUE(clicked);
        EXPECT_EQ(test.fakes.ui.pausesStarted - started, pauses);
        EXPECT_EQ(test.commands(), (std::vector<std::string>{"read installer heard file",
                                                             "makeActiveSaver-Aqua5405.scr",
                                                             "openScreenSaverControlPanel"}));
        EXPECT_EQ(test.dialogTexts(),
                  std::vector<std::string>{std::string(text::kOpenControlPanelQuestion.text)});
        EXPECT_TRUE(test.installed());
        EXPECT_TRUE(test.installer->closed());
        EXPECT_EQ(test.view.terminatedWith, 0);
    }
}

// On 64-bit Windows the engine goes into the native system folder too; a
// failure takes both copies back with the saver folder and the uninstall
// entry, and the extracted data file goes even while the window stays open.
TEST_F(Driver, AFailedInstallationTakesBackWhatItPlaced) {
    const std::string nativeEngine = kNative + "Aqua5405.scr";
    const struct {
        const char* what;
        std::uint8_t mode;
        std::optional<std::size_t> wrongSize;
        bool installed;
        std::optional<std::int32_t> exitCode; // none: the window stays open
    } cases[] = {
        {"quiet, succeeds", installmode::kQuiet, std::nullopt, true, 0},
        {"quiet, fails after the engine", installmode::kQuiet, 7, false, -13},
        {"interactive, fails after the data file", installmode::kBitmap, 9, false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.fakes.system.wow64 = platform::Wow64Answer::Yes;
        test.fakes.files.addFolder(kNative);
        test.start(package(c.mode), {}, c.wrongSize);
        if (c.mode != installmode::kQuiet)
            test.view.events->installBtnClick();
        EXPECT_EQ(test.fakes.files.exists(kEngine), c.installed);
        EXPECT_EQ(test.fakes.files.exists(nativeEngine), c.installed);
        EXPECT_EQ(test.fakes.files.exists(kSaverFolder), c.installed);
        EXPECT_EQ(
            test.fakes.registry.keyExists(RegistryRoot::LocalMachine, uninstallKeyPath(kTitle)),
            c.installed);
        EXPECT_EQ(test.view.terminatedWith, c.exitCode);
        EXPECT_EQ(test.fakes.files.exists(kWorkFolder), !c.exitCode);
        EXPECT_FALSE(test.fakes.files.exists(kWorkFolder + "aquarium.dat"));
    }
}

// A picture shows in bmpPanel with the movie's panel hidden; a movie plays
// in moviePanel1, which stays visible, and no picture is loaded.
TEST_F(Driver, ThePreviewShowsInItsOwnPanel) {
    const struct {
        const char* what;
        std::uint8_t mode;
        EntryContent preview;
        std::vector<std::string> pictures;
    } cases[] = {
        {"bitmap",
         installmode::kBitmap,
         entryOf("preview.bmp", 4, compressible(3000, 'p')),
         {kWorkFolder + "preview.BMP"}},
        {"JPEG",
         installmode::kJpeg,
         entryOf("preview.jpg", 4, compressible(3000, 'j')),
         {kWorkFolder + "preview.jpg"}},
        {"movie",
         installmode::kMovie,
         entryOf("preview.swf", 4, bytesOf(sampleMovie(9, false))),
         {}},
        {"movie, other mode",
         installmode::kMovieToo,
         entryOf("preview.swf", 4, bytesOf(sampleMovie(9, true))),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        PackageContent content = package(c.mode);
        content.entries[entry::kPreview] = c.preview;
        test.start(content);
        ASSERT_TRUE(test.view.shown);
        const bool picture = !c.pictures.empty();
        EXPECT_EQ(test.view.picturesLoaded, c.pictures);
        EXPECT_EQ(test.form().moviePanel1.visible, !picture);
        if (picture) {
            EXPECT_TRUE(test.form().bmpPanel.visible);
        }
        EXPECT_EQ(test.installer->moviePanel1().swfFilename.empty(), picture);
    }
}

TEST_F(Driver, CancelDuringExtractionCleansUpAndCloses) {
    start(package(installmode::kBitmap));
    bool closeRefused = false;
    fakes.ui.duringPause(2, [&] {
        closeRefused = !view.events->FormCloseQuery();
        view.events->cancelBtnClick();
    });
    view.events->installBtnClick();
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(installer->closed());
    EXPECT_EQ(view.terminatedWith, 0);
    expectNothingLeft();
    EXPECT_TRUE(form().installBtn.enabled) << "ready again before closing";
    EXPECT_EQ(form().labCopying.caption, "");
}

TEST_F(Driver, CancelOnTheOverwriteQuestionKeepsEverything) {
    fakes.files.addFile(kSaverFolder + "saver.dat", "older settings");
    start(package(installmode::kBitmap));
    fakes.ui.answers = {DialogButton::Cancel};
    view.events->installBtnClick();
    EXPECT_FALSE(installer->closed());
    EXPECT_EQ(fakes.files.content(kSaverFolder + "saver.dat"), "older settings");
    EXPECT_TRUE(form().installBtn.enabled);
    EXPECT_TRUE(form().cancelBtn.enabled);
    EXPECT_EQ(form().progress.position, 0);
    EXPECT_TRUE(fakes.files.exists(kWorkFolder));
}

TEST_F(Driver, AFailedInstallationLeavesInstallDisabledUntilCancelCloses) {
    start(package(installmode::kBitmap));
    fakes.files.denyAccess(kSystem);
    fakes.ui.answers = {DialogButton::Abort, DialogButton::Abort};
    view.events->installBtnClick();
    EXPECT_FALSE(installer->closed());
    EXPECT_FALSE(form().installBtn.enabled);
    EXPECT_EQ(form().labCopying.caption, "Install failed. Error: -16");
    EXPECT_EQ(dialogTexts(),
              (std::vector<std::string>{"Zip Error: Problem expanding data in memory. \r\n\r\n",
                                        "Installation Error: " + kEngine +
                                            "\r\n\r\nProblem with "
                                            "file " +
                                            kEngine + ". "}));
    view.events->installBtnClick(); // disabled in the real window; a stray click changes nothing
    view.events->cancelBtnClick();
    EXPECT_TRUE(installer->closed());
    EXPECT_EQ(view.terminatedWith, 0);
    expectNothingLeft();
}

TEST_F(Driver, TheLicenceIsShownOrTheRunEnds) {
    const struct {
        const char* what;
        bool carried;
        bool readable;
        std::vector<std::string> loaded;
        bool ready;
        const char* installCaption;
        bool boxVisible;
        layout::BorderStyle border;
    } cases[] = {
        {"no licence", false, true, {}, true, "Install", false, layout::BorderStyle::fixed},
        {"readable",
         true,
         true,
         {kWorkFolder + "licence.rtf"},
         true,
         "Accept and Install",
         true,
         layout::BorderStyle::sizeable},
        {"unreadable",
         true,
         false,
         {kWorkFolder + "licence.rtf"},
         false,
         "&Install",
         true,
         layout::BorderStyle::fixed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        PackageContent content = package(installmode::kBitmap);
        if (c.carried) {
            content.header.hasLicence = 1;
            content.entries[entry::kLicence] = entryOf("licence.rtf", 4, compressible(400, 'l'));
        }
        test.view.licenceReadable = c.readable;
        test.start(content);
        EXPECT_EQ(test.view.licencesLoaded, c.loaded);
        EXPECT_EQ(test.view.shown, c.ready);
        EXPECT_EQ(test.installer->closed(), !c.ready);
        EXPECT_EQ(test.form().installBtn.caption, c.installCaption);
        EXPECT_EQ(test.form().licenseScrollBox.visible, c.boxVisible);
        EXPECT_EQ(test.form().border, c.border);
        if (c.ready)
            continue;
        EXPECT_EQ(test.dialogTexts(),
                  std::vector<std::string>{"Installation Error: Installer may be corrupted. Please "
                                           "get a new copy and try installation again.\r\n\r\n"
                                           "File: licence.rtf"});
        EXPECT_EQ(test.view.terminatedWith, 0);
        test.expectNothingLeft();
    }
}

TEST_F(Driver, AFailedInstallationReportsAndWaitsForCancel) {
    const std::string privileges =
        "\r\n\r\nInsufficient user account privileges.\r\n\r\nThe current user account has "
        "insufficient privileges to install screen savers. Please contact your system "
        "administrator for help in performing this installation.";
    const struct {
        const char* what;
        std::function<void(fake::FakeFileSystem&)> fault;
        std::string status;
        std::vector<std::string> dialogs;
    } cases[] = {
        {"system folder denied",
         [](auto& files) { files.denyAccess(kSystem); },
         "Installation Aborted: Insufficient user account privileges.",
         {"Installation Error: " + kEngine + privileges, "Installation Error: 5" + privileges}},
        {"engine held open",
         [](auto& files) { files.addFile(kEngine, "old"), files.holdOpen(kEngine); },
         "Installation Aborted: Screensaver cannot be replaced.",
         std::vector<std::string>(
             1, "Installation Error: Screensaver cannot be replaced.\r\n\r\nPlease close the "
                "screen saver control panel and try again. If the install fails again, you may "
                "have insufficient privileges to install screen savers. Please contact your system "
                "administrator for assistance.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        PackageContent content = package(installmode::kBitmap);
        content.entries[entry::kEngine] =
            entryOf("Aqua5405.scr", 2, compressible(2000, 'e'), false);
        test.start(content);
        c.fault(test.fakes.files);
        test.view.events->installBtnClick();
        EXPECT_FALSE(test.installer->closed());
        EXPECT_EQ(test.form().labCopying.caption, c.status);
        EXPECT_FALSE(test.form().installBtn.enabled);
        EXPECT_EQ(test.dialogTexts(), c.dialogs);
        EXPECT_FALSE(test.fakes.files.exists(kSaverFolder));
        test.view.events->cancelBtnClick();
        EXPECT_TRUE(test.installer->closed());
        EXPECT_EQ(test.view.terminatedWith, 0);
    }
}

TEST_F(Driver, APlayingMovieIsRefreshedOnlyWhenTheApplicationIsActive) {
    // A version 9 movie of one End tag behind an empty frame rectangle.
    const std::string movie("FWS\x09\x0f\x00\x00\x00"
                            "\x00\x00\x0c\x01\x00\x00\x00",
                            15);
    const struct {
        bool active;
        int invalidations;
    } cases[] = {{true, 1}, {false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.active ? "active" : "inactive");
        Machine test;
        test.view.active = c.active;
        PackageContent content = package(installmode::kMovie);
        content.entries[3] = entryOf("preview.swf", 4, bytesOf(movie));
        test.start(content);
        ASSERT_TRUE(test.view.shown);
        ASSERT_TRUE(test.view.moviePanel);
        EXPECT_EQ(test.fakes.ui.broughtToFront, 1);
        EXPECT_EQ(test.view.moviePanel->invalidations, c.invalidations);
    }
}

// The work folder of an elevated run is the administrators' alone, and the
// code the installer writes into it and then runs is held from its writing:
// the library until the closing deletes the folder, the player installer
// until it has been started. Another program's write or delete fails with 32.
TEST(WorkFolder, ElevatedRunsProtectItAndHeldCodeStaysAsWritten) {
    using platform::Trustee;
    const platform::FolderSecurity administratorsOnly{Trustee::Administrators,
                                                      {{Trustee::Administrators, 0x1F01FF},
                                                       {Trustee::LocalSystem, 0x1F01FF},
                                                       {Trustee::CurrentUser, 0x1200A9}}};
    const struct {
        const char* what;
        bool elevated;
        bool updatesPlayer;
        std::optional<platform::FolderSecurity> security;
        std::vector<int> handlesAtStart; // on the player installer, as it is started
    } cases[] = {
        {"elevated", true, false, administratorsOnly, {}},
        {"not elevated: as its parent has it", false, false, std::nullopt, {}},
        {"elevated, the player updated", true, true, administratorsOnly, {1}},
    };
    const std::string library = kWorkFolder + "impborl.dll";
    const std::string playerInstaller = kWorkFolder + kFlashInstallerName;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        fake::FakeFileSystem& files = test.fakes.files;
        test.fakes.system.elevated = c.elevated;
        PackageContent content = Driver::package(installmode::kBitmap, false);
        if (c.updatesPlayer) {
            content.entries[2] = entryOf(kFlashInstallerName, 4, compressible(300, 'f'));
            content.header.carriesFlashInstaller = 1;
            test.fakes.players.install("WIN 9,0,115,0");
        }
        std::vector<int> handlesAtStart;
        test.fakes.shell.onStart = [&](const fake::FakeShell::StartedProgram& started) {
            handlesAtStart.push_back(files.openHandles(started.program));
        };
        test.start(content);
        ASSERT_FALSE(test.installer->closed());
        EXPECT_EQ(files.securityOf(kWorkFolder), c.security);
        EXPECT_EQ(handlesAtStart, c.handlesAtStart);
        if (c.updatesPlayer) {
            EXPECT_EQ(files.openHandles(playerInstaller), 0) << "let go once started";
        }

        // At the ready window the library and the folder are held.
        platform::WinError error = platform::kErrorNone;
        EXPECT_EQ(files.openFile(library, platform::OpenMode::CreateAlways, error), nullptr);
        EXPECT_EQ(error, platform::kErrorSharingViolation);
        EXPECT_EQ(files.copyFile(kExe, library, false), platform::kErrorSharingViolation);
        EXPECT_EQ(files.deleteFile(library), platform::kErrorSharingViolation);
        EXPECT_EQ(files.removeFolder(kWorkFolder), platform::kErrorSharingViolation);
        EXPECT_EQ(files.content(library), "MZ library stand-in");
        // So they are at every pause of the installation, the last ones after
        // its last step.
        std::vector<int> libraryHandles;
        for (int pause = test.fakes.ui.pausesStarted + 1; pause < 100; ++pause)
            test.fakes.ui.duringPause(
                pause, [&] { libraryHandles.push_back(files.openHandles(library)); });
        test.view.events->installBtnClick();
        EXPECT_GE(libraryHandles.size(), 2u);
        EXPECT_EQ(libraryHandles, std::vector<int>(libraryHandles.size(), 1));
        EXPECT_TRUE(test.installed());
        EXPECT_TRUE(test.installer->closed());
        EXPECT_FALSE(files.exists(kWorkFolder));
        EXPECT_EQ(files.openHandles(library), 0);
    }
}

} // namespace

// One taskbar button for the application: it is known by the program's file
// name until the caption is set, and by the caption from then on.
TEST_F(Driver, TheApplicationTitleBecomesTheCaptionOnceItIsSet) {
    const struct {
        const char* what;
        std::uint8_t mode;
        std::vector<std::string> arguments;
        std::vector<std::string> titles;
    } cases[] = {
        {"interactive", installmode::kBitmap, {}, {"setup.exe", "Install: Aquarium Screen Saver"}},
        {"/q", installmode::kBitmap, {"/q"}, {"setup.exe"}},
        {"quiet package", installmode::kQuiet, {}, {"setup.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.start(package(c.mode), c.arguments);
        EXPECT_EQ(test.view.applicationTitles, c.titles);
    }
}

// The resource texts come from the program's string table; what it lacks
// keeps the wording of texts.h.
TEST_F(Driver, TheStringTablesTextsAreTheOnesShown) {
    const struct {
        const char* what;
        std::map<unsigned, std::string> table;
        const char* preparing;
        const char* caption;
        const char* install;
        const char* cancel;
        const char* close;
        const char* displayProperties; // the first title looked for
        std::vector<std::string> questions;
    } cases[] = {
        {"no string table",
         {},
         "Preparing Installation...",
         "Install: Aquarium Screen Saver",
         "Install",
         "Cancel",
         "Close",
         "Display Properties",
         {"Aquarium Screen Saver screen saver already exists. Overwrite?",
          std::string(text::kOpenControlPanelQuestion.text)}},
        {"German",
         {{text::kPreparingInstallation.id, "Installation wird vorbereitet..."},
          {text::kInstall.id, "Installieren"},
          {text::kButtonCancel.id, "Abbrechen"},
          {text::kDisplayPropertiesTitle.id, "Eigenschaften von Anzeige"},
          {text::kSaverAlreadyExists.id, " ist schon installiert. Ersetzen?"},
          {text::kOpenControlPanelQuestion.id, "Die Systemsteuerung jetzt oeffnen?"}},
         "Installation wird vorbereitet...",
         "Installieren: Aquarium Screen Saver",
         "Installieren",
         "Abbrechen",
         "Close",
         "Eigenschaften von Anzeige",
         {"Aquarium Screen Saver ist schon installiert. Ersetzen?",
          "Die Systemsteuerung jetzt oeffnen?"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        test.fakes.system.strings = c.table;
        test.fakes.files.addFile(kSaverFolder + "saver.dat", "older settings");
        test.start(package(installmode::kBitmap));
        EXPECT_EQ(test.view.preparingMessages.front(), c.preparing);
        EXPECT_EQ(test.form().caption, c.caption);
        EXPECT_EQ(test.view.applicationTitles.back(), c.caption);
        EXPECT_EQ(test.form().installBtn.caption, c.install);
        EXPECT_EQ(test.form().cancelBtn.caption, c.cancel);
        EXPECT_EQ(test.form().doneBtn.caption, c.close);

        test.fakes.ui.answers = {DialogButton::Ok, DialogButton::No};
        test.view.events->installBtnClick();
        ASSERT_FALSE(test.fakes.messaging.searchedTitles.empty());
        EXPECT_EQ(test.fakes.messaging.searchedTitles.front(), c.displayProperties);
        EXPECT_EQ(test.dialogTexts(), c.questions);
        EXPECT_TRUE(test.installed());
    }
}

// A reinstallation over an earlier saver: the earlier one stays whole until
// the new one is, and a successful run leaves the launcher exactly the
// commands of a first installation.
TEST_F(Driver, AReinstallationKeepsTheEarlierSaverUntilTheNewOneIsWhole) {
    const std::string nativeEngine = kNative + "Aqua5405.scr";
    const std::string key = uninstallKeyPath(kTitle);
    const std::vector<std::pair<std::string, std::string>> earlierFiles = {
        {kSaverFolder + "saver.dat", "old settings"},
        {kSaverFolder + "media\\old.swf", "old movie"},
        {kEngine, "old engine"},
        {nativeEngine, "old native engine"},
    };
    enum class Engine { Idle, Running, HeldOpen };
    const struct {
        const char* what;
        Engine engine;
        std::optional<std::size_t> wrongSize;
        std::int32_t exitCode;
        std::vector<std::string> commands;
        std::vector<std::string> atRestart;
        std::size_t dialogs;
    } cases[] = {
        {"succeeds",
         Engine::Idle,
         std::nullopt,
         0,
         {"read installer heard file", "makeActiveSaver-Aqua5405.scr",
          "openScreenSaverControlPanel"},
         {},
         0},
        {"succeeds while the earlier engine runs",
         Engine::Running,
         std::nullopt,
         0,
         {"read installer heard file", "makeActiveSaver-Aqua5405.scr",
          "openScreenSaverControlPanel"},
         {"C:\\WINDOWS\\SYSTEM32\\AQUA5405.SCR.VLX-ASIDE"},
         0},
        // A quiet package's launcher is sent the control-panel command after
        // a failure too.
        {"fails after the engine",
         Engine::Idle,
         7,
         -13,
         {"read installer heard file", "openScreenSaverControlPanel"},
         {},
         1},
        {"the earlier engine is held open",
         Engine::HeldOpen,
         std::nullopt,
         result::kSaverBusy,
         {"read installer heard file", "openScreenSaverControlPanel"},
         {},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Machine test;
        fake::FakeFileSystem& files = test.fakes.files;
        test.fakes.system.wow64 = platform::Wow64Answer::Yes;
        files.addFolder(kNative);
        for (const auto& [path, content] : earlierFiles)
            files.addFile(path, content);
        test.fakes.registry.setValue(RegistryRoot::LocalMachine, key, "DisplayName", "Old");
        test.fakes.registry.setValue(RegistryRoot::LocalMachine, key, "UninstallString", "old /u");
        if (c.engine == Engine::Running)
            files.runAsProgram(kEngine);
        if (c.engine == Engine::HeldOpen)
            files.holdOpen(kEngine);
        // The installer itself and the company folder its run makes.
        files.addFile(kExe);
        files.addFolder(kLocal + "Vellarmont");
        const std::vector<std::string> before = files.allPaths();

        test.start(package(installmode::kQuiet), {}, c.wrongSize);
        EXPECT_EQ(test.view.terminatedWith, c.exitCode);
        EXPECT_EQ(test.commands(), c.commands);
        EXPECT_EQ(files.deletedAtRestart(), c.atRestart);
        EXPECT_EQ(test.fakes.ui.dialogs.size(), c.dialogs);
        if (c.exitCode == 0) {
            EXPECT_EQ(files.content(kEngine), files.content(nativeEngine));
            EXPECT_NE(files.content(kEngine), "old engine");
            EXPECT_FALSE(files.exists(kSaverFolder + "media"));
            EXPECT_EQ(files.exists(kEngine + kSetAsideSuffix), c.engine == Engine::Running)
                << "only a running engine waits for the restart";
            EXPECT_FALSE(
                files.exists(kSaverFolder.substr(0, kSaverFolder.size() - 1) + kSetAsideSuffix));
            EXPECT_NE(test.fakes.registry.value(RegistryRoot::LocalMachine, key, "DisplayName"),
                      "Old");
        } else {
            EXPECT_EQ(files.allPaths(), before) << "nothing new, nothing gone";
            for (const auto& [path, content] : earlierFiles)
                EXPECT_EQ(files.content(path), content) << path;
            EXPECT_EQ(test.fakes.registry.value(RegistryRoot::LocalMachine, key, "DisplayName"),
                      "Old");
            EXPECT_EQ(test.fakes.registry.value(RegistryRoot::LocalMachine, key, "UninstallString"),
                      "old /u");
        }
    }
}

// What the closing cannot delete of the work folder goes at the next
// restart: the files first, then the folders, the deepest first; nothing is
// said about it.
TEST_F(Driver, AWorkFolderThatStaysIsDeletedAtTheNextRestart) {
    start(package(installmode::kBitmap));
    fakes.files.addFile(kWorkFolder + "held\\deeper\\log.txt", "another program's");
    fakes.files.holdOpen(kWorkFolder + "held\\deeper\\log.txt");
    view.events->installBtnClick();
    EXPECT_TRUE(installer->closed());
    EXPECT_EQ(view.terminatedWith, 0);
    const std::string work = "C:\\DOCUMENTS AND SETTINGS\\USER\\LOCAL SETTINGS\\APPLICATION "
                             "DATA\\VELLARMONT\\VLX1";
    EXPECT_EQ(fakes.files.deletedAtRestart(),
              (std::vector<std::string>{work + "\\HELD\\DEEPER\\LOG.TXT", work + "\\HELD\\DEEPER",
                                        work + "\\HELD", work}));
    EXPECT_EQ(dialogTexts(), std::vector<std::string>{"The installation of the screen saver was "
                                                      "successful.\r\n\r\nWould you like to open "
                                                      "the screen saver control panel?"});
}
