#include "app/installer_form.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "app/form_states.h"
#include "base/texts.h"
#include "base/trace.h"
#include "flash/player_update.h"
#include "payload/data_file.h"
#include "payload/file_extraction.h"
#include "payload/package_reading.h"
#include "system/display_properties.h"
#include "system/file_operations.h"
#include "system/installer_paths.h"
#include "system/platform_checks.h"
#include "system/saver_folder.h"
#include "system/startup_shortcut.h"
#include "system/uninstall_entry.h"

namespace {

// Runs its action when the scope ends, however it ends.
class ScopeExit {
  public:
    explicit ScopeExit(std::function<void()> action) : action_(std::move(action)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { action_(); }

  private:
    std::function<void()> action_;
};

} // namespace

std::optional<PreparationReport> preparationErrorReport(ResultCode code) {
    using platform::DialogButton;
    using platform::DialogKind;
    switch (code) {
    case result::kUserAbort:
    case result::kLicenceNotShown: // reported where it happened, with the licence's name
        return std::nullopt;
    case result::kNotCompatibleWithNt:
        return PreparationReport{DialogKind::Error, std::string(text::kNotCompatibleWithNt),
                                 DialogButton::Abort};
    case result::kFlashUpdateFailed:
        return PreparationReport{DialogKind::Error,
                                 std::string(text::kFlashInstallationFailed) +
                                     std::string(text::kFlashRequiredDownloadFrom) +
                                     std::string(text::kFlashPlayerSite) +
                                     std::string(text::kFlashThenRetry) +
                                     std::string(text::kFlashLimitedPrivileges) +
                                     std::string(text::kFlashLoginAsAdministrator),
                                 DialogButton::Ok};
    case result::kFlashPlayerRequired:
        return PreparationReport{DialogKind::Information,
                                 std::string(text::kFlashLatestRequired) +
                                     std::string(text::kFlashPlayerSite) +
                                     std::string(text::kFlashAndRetry),
                                 DialogButton::Ok};
    default:
        return PreparationReport{DialogKind::Error,
                                 std::string(text::kInstallerFileCorrupted) +
                                     std::string(text::kVellarmontError) + std::to_string(code) +
                                     std::string(text::kVellarmontErrorEnd),
                                 DialogButton::Abort};
    }
}

TInstallerForm::TInstallerForm(platform::Platform& platform, InstallerView& view,
                               std::vector<std::string> arguments, std::string executablePath)
    : platform_(platform), view_(view), executablePath_(std::move(executablePath)),
      quietSwitchGiven_(std::ranges::any_of(arguments, isQuietSwitch)), reporter_(platform, *this),
      context_(platform, reporter_), texts_(ResourceTexts::load(platform.system)),
      launcher_(platform.messaging, launcherState_, std::move(arguments)),
      form_(layout::makeInstallerForm(view.installerFrames())),
      preparing_(layout::makePreparingWindow(view.preparingFrame(), executablePath_, texts_)) {
    view_.setEvents(*this);
    // The application is known by the program's file name until the
    // caption is set.
    view_.setApplicationTitle(preparing_.title);
    renderPreparingWindow();
    moviePanel1_ =
        std::make_unique<TFlashPanel>(platform_, playerVersionCache_, view_.createMoviePanel());
    moviePanel1_->enableAllowScale = true;
    launcher_.setInstallerWindow(view_.installerWindow());
}

TInstallerForm::~TInstallerForm() = default;

void TInstallerForm::renderForm() {
    view_.renderInstallerWindow(form_);
}

void TInstallerForm::renderPreparingWindow() {
    view_.renderPreparingWindow(preparing_);
}

void TInstallerForm::FormCreate() {
    form_.border = layout::BorderStyle::fixed;
    try {
        prepareInstallation();
    } catch (const std::exception& error) {
        // Whatever was raised instead of returned ends the preparation as a
        // failed step.
        trace("install error: ", error.what());
        view_.showHourglass(false);
        endWithoutInstalling(result::kPreparationFailed);
        cleanUpStep("reportPreparationFailed",
                    [&] { showPreparationReport(result::kPreparationFailed); });
        close();
    }
}

void TInstallerForm::prepareInstallation() {
    view_.showHourglass(true);
    layout::setPreparationSizes(form_);
    renderForm();
    reporter_.flags = {};
    launcherState_.launcherWindow = platform::kNoWindow;
    bool quietBySwitch = false;
    bool installedWithoutPreview = false;
    context_.osClass = GetOperatingSystem(platform_.system);

    ResultCode code = initInstallerPaths(platform_, executablePath_, context_.paths);
    // 64-bit Windows always has a native system folder: the Windows folder's,
    // when SystemRoot could not be read.
    if (code == result::kOk && context_.osClass == osclass::kWindows64 &&
        context_.paths.nativeSystemDir.empty()) {
        context_.paths.nativeSystemDir = context_.paths.windowsDir + "Sysnative\\";
        context_.paths.protectedFolders.push_back(context_.paths.nativeSystemDir);
    }
    removeStartupShortcut(platform_);
    if (code == result::kOk)
        setPackagePaths(context_);
    if (code == result::kOk)
        code = copyPackage(context_);
    if (code == result::kOk)
        code = readInstallerHeader(context_);
    const InstallerHeader& header = context_.package.header;
    if (code == result::kOk) {
        launcher_.notifyLauncher(launcher::kReadHeaderCommand);
        reporter_.runMode = header.installMode;
        modeKnown_ = true;
        quietBySwitch = launcher_.announceQuietSwitches();
        if (quietBySwitch)
            reporter_.runMode = kQuietRunMode;
        if (quiet()) {
            layout::moveOffScreen(preparing_);
        } else {
            const layout::Size screen = view_.screenSize();
            layout::centerOnScreen(preparing_, screen.width, screen.height);
        }
        renderPreparingWindow();
        platform_.ui.processPendingMessages();
    }
    if (code == result::kOk)
        code = setSaverPaths(context_);
    if (code == result::kOk && header.hasDocument)
        code = extractDocument(context_);
    if (code == result::kOk) {
        code = runFlashStep(context_, playerVersionCache_);
        if (code == result::kFlashUpdateFailed) {
            layout::moveInstallerFormOffScreen(form_);
            renderForm();
        }
    }
    if (code == result::kOk && !quiet()) {
        layout::setInstallerCaption(form_, texts_, context_.package.saverTitle);
        view_.setApplicationTitle(form_.caption);
    }
    if (code == result::kOk && !quiet()) {
        layout::LicenceSetup licence = layout::LicenceSetup::none;
        if (header.hasLicence) {
            code = extractLicence(context_);
            licence =
                code == result::kOk ? layout::LicenceSetup::shown : layout::LicenceSetup::failed;
        }
        // A licence is never skipped: one that cannot be shown ends the run
        // before anything is installed.
        const std::string& licenceName = header.entries[entry::kLicence].name;
        if (licence == layout::LicenceSetup::shown &&
            !view_.loadLicence(context_.paths.workDir + licenceName)) {
            reporter_.showInstallError(result::kInstallerCorrupted, licenceName);
            code = result::kLicenceNotShown;
        } else {
            layout::setupLicenceAndButtons(form_, texts_, licence);
            renderForm();
        }
    }
    if (code == result::kOk && header.installMode != installmode::kQuiet)
        code = extractPreview(context_);
    if (code == result::kOk && !quiet())
        showPreview(code, installedWithoutPreview);
    if (code == result::kOk && !quiet() && !installedWithoutPreview) {
        layout::moveOffScreen(preparing_);
        renderPreparingWindow();
        const layout::Size screen = view_.screenSize();
        layout::setReadyState(form_, screen.width, screen.height);
        renderForm();
        view_.showInstallerWindow();
    }
    if (code == result::kOk && quiet())
        installQuietly();
    view_.showHourglass(false);

    if (code != result::kOk) {
        trace("install error: ", code);
        endWithoutInstalling(code);
        if (!showPreparationReport(code) && code == result::kUserAbort)
            trace("user abort");
        close();
    } else if (installedWithoutPreview) {
        openScreenSaverControlPanel(reporter_, platform_.ui, launcher_, texts_,
                                    header.offerControlPanel);
        close();
    } else if (quiet()) {
        if (header.offerControlPanel && !quietBySwitch)
            launcher_.notifyLauncher(launcher::kOpenControlPanelCommand);
        close();
    }
}

void TInstallerForm::showPreview(ResultCode& code, bool& installedWithoutPreview) {
    const std::string preview =
        context_.paths.workDir + context_.package.header.entries[entry::kPreview].name;
    switch (reporter_.runMode) {
    case installmode::kBitmap:
    case installmode::kJpeg: {
        layout::showPicturePreview(form_);
        renderForm();
        std::string error;
        if (!view_.loadPicture(preview, error))
            platform_.ui.messageDialog(platform::DialogKind::Error,
                                       std::string(text::kCorruptFile) + error,
                                       {platform::DialogButton::Abort});
        break;
    }
    case installmode::kMovie:
    case installmode::kMovieToo:
        if (moviePanel1_->playMovie(preview) == result::kOk) {
            platform_.ui.bringApplicationToFront();
            if (view_.applicationActive())
                moviePanel1_->refreshMovie();
        } else {
            code = installWithoutPreview();
            installedWithoutPreview = true;
        }
        break;
    default:
        break;
    }
}

ResultCode TInstallerForm::installScreenSaver() {
    cleanUpStep("showHourglass", [&] { view_.showHourglass(true); });
    ResultCode code = result::kOk;
    EarlierSaver earlier(platform_, context_.paths.protectedFolders);
    placingStarted_ = false;
    uninstallEntryRoots_.clear();
    try {
        code = runInstallationSteps(earlier);
    } catch (const std::exception& error) {
        // Whatever was raised instead of returned fails the installation;
        // the clean-up below runs all the same. No step reported it, so the
        // window does (a quiet run ends with the code, and the preparation
        // reports a failed installation without preview).
        trace("install error: ", error.what());
        code = result::kPreparationFailed;
        if (!quiet())
            cleanUpStep("reportInstallationFailed", [&] { showPreparationReport(code); });
    }
    const InstallFlags& flags = reporter_.flags;
    PackageState& package = context_.package;
    cleanUpStep("closeDataFile", [&] {
        if (package.dataFileOpen)
            closeDataFile(context_);
    });
    cleanUpStep("deleteDataFile", [&] { deleteFileOnce(platform_.files, package.dataFilePath); });
    const bool installed = code == result::kOk && !flags.installCancelled;
    if (flags.installCancelled)
        reporter_.setStatusText(std::string(text::kAbortedCleaningUp));
    if (!installed && code != result::kUserAbort)
        removeInstalledFiles();
    if (installed) {
        // Nothing can fail any more: what the earlier saver left goes, and
        // the launcher may make the new one the active saver.
        cleanUpStep("discardEarlierSaver", [&] { earlier.discard(); });
        cleanUpStep("makeActiveSaver", [&] {
            launcher_.notifyLauncher(
                makeActiveSaverCommand(package.header.entries[entry::kEngine].name));
        });
    } else {
        cleanUpStep("restoreEarlierSaver", [&] { restoreEarlierSaver(earlier); });
    }
    // The outcome is settled: what the window shows of it may fail without
    // changing it.
    if (!flags.installCancelled)
        cleanUpStep("showOutcome", [&] { setupFormForInstallationComplete(code); });
    else
        cleanUpStep("showAbort", [&] { resetFormAfterAbort(); });
    cleanUpStep("hideHourglass", [&] { view_.showHourglass(false); });
    return code;
}

ResultCode TInstallerForm::runInstallationSteps(EarlierSaver& earlier) {
    InstallFlags& flags = reporter_.flags;
    PackageState& package = context_.package;
    setupInstallerFormForInstallation();
    ResultCode code = result::kOk;
    if (!flags.installCancelled)
        closeDisplayPropertiesWindow(platform_.messaging, texts_);
    if (!flags.installCancelled) {
        code = prepareSaverFolder(platform_, context_.paths.windowsDir,
                                  context_.paths.sharedSaverRoot, package.saverShortName,
                                  package.saverTitle, texts_.get(text::kSaverAlreadyExists),
                                  !quiet(), earlier, placesBesideSaverFolder(context_));
        placingStarted_ = code == result::kOk || !earlier.empty();
        if (code == result::kUserAbort)
            flags.installCancelled = true;
        else if (code == result::kSaverBusy || code == result::kFileBusy)
            reporter_.showInstallError(code, earlier.refusedPath());
        if (code == result::kOk)
            earlier.keepUninstallEntry(uninstallKeyPath(package.saverTitle));
        renderPreparingWindow();
    }
    if (!flags.installCancelled && code == result::kOk)
        code = extractMainEntries(context_, package.packageCopyPath);
    if (!flags.installCancelled && code == result::kOk)
        code = readSettingsRecord(context_);
    if (!flags.installCancelled && code == result::kOk)
        code = expandDataFiles(context_);
    if (!flags.installCancelled && code == result::kOk)
        code = writeSaverSettings(context_);
    if (!flags.installCancelled && code == result::kOk)
        code = copyCompanionFiles(context_);
    if (!flags.installCancelled && code == result::kOk)
        openDocument(context_);
    if (!flags.installCancelled && code == result::kOk)
        registerUninstallEntry(platform_, texts_, context_.paths.systemDir, package.saverTitle,
                               package.saverShortName, &uninstallEntryRoots_);
    return code;
}

void TInstallerForm::restoreEarlierSaver(EarlierSaver& earlier) {
    const std::vector<std::string> stay = earlier.restore();
    if (stay.empty())
        return;
    std::string message =
        std::string(text::kInstallationError) + std::string(text::kEarlierSaverNotPutBack);
    for (const std::string& path : stay)
        message += std::string(text::kLineBreak) + path;
    platform_.ui.messageDialog(platform::DialogKind::Error, message,
                               {platform::DialogButton::Abort});
}

void TInstallerForm::endWithoutInstalling(ResultCode code) {
    // Before the header is read nobody knows whether the package is quiet:
    // its launcher may be waiting for the result.
    if (quiet() || quietSwitchGiven_ || !modeKnown_)
        exitCode_ = code;
}

ResultCode TInstallerForm::installWithoutPreview() {
    const std::uint8_t remembered = reporter_.runMode;
    const ScopeExit restoreRunMode([&] { reporter_.runMode = remembered; });
    reporter_.runMode = kQuietRunMode;
    preparing_.title = form_.caption;
    layout::setMessage(preparing_, text::kInstallingScreenSaver);
    renderPreparingWindow();
    const ResultCode code = installScreenSaver();
    if (code == result::kOk)
        layout::setMessage(preparing_, text::kInstallationSuccessful);
    else if (code == result::kUserAbort)
        layout::setMessage(preparing_, text::kInstallationCancelled);
    else
        layout::setMessage(preparing_, std::string(text::kInstallFailed) + std::to_string(code));
    renderPreparingWindow();
    return code;
}

void TInstallerForm::installQuietly() {
    exitCode_ = installScreenSaver();
}

void TInstallerForm::setupInstallerFormForInstallation() {
    trace("setupInstallerFormForInstallation");
    if (!quiet()) {
        layout::setInstallingState(form_);
        renderForm();
    }
    trace("setupInstallerFormForInstallation", "done");
}

void TInstallerForm::setupFormForInstallationComplete(ResultCode code) {
    trace("setupFormForInstallationComplete", code);
    if (quiet())
        return;
    if (code == result::kOk) {
        layout::fillProgressBar(form_);
        renderForm();
    }
    reporter_.pauseBriefly();
    reporter_.pauseBriefly();
    if (code == result::kOk) {
        layout::setCompleteState(form_);
        renderForm();
        return;
    }
    layout::setFailedState(form_, code);
    renderForm();
    // A busy screen saver was reported where it was found.
    if (code == result::kAccessDenied)
        reporter_.showInstallError(code, std::to_string(code));
}

void TInstallerForm::resetFormAfterAbort() {
    if (quiet())
        return;
    layout::setReadyAfterAbortState(form_);
    renderForm();
}

void TInstallerForm::removeInstalledFiles() {
    // Before an earlier saver was set aside nothing was placed, and what
    // stands in the saver's places is still the earlier saver's.
    if (!placingStarted_)
        return;
    const PackageState& package = context_.package;
    const std::vector<std::string>& protectedFolders = context_.paths.protectedFolders;
    if (!package.saverFolder.empty())
        cleanUpStep("removeSaverFolder", [&] {
            deleteFolderTree(platform_.files, package.saverFolder, protectedFolders);
        });
    std::vector<std::string> places;
    cleanUpStep("findPlacedFiles", [&] { places = placesBesideSaverFolder(context_); });
    for (const std::string& place : places)
        cleanUpStep("removePlacedFile", [&] { deleteFileOnce(platform_.files, place); });
    cleanUpStep("removeUninstallEntry", [&] {
        removeUninstallEntryUnder(platform_, package.saverTitle, uninstallEntryRoots_);
    });
}

bool TInstallerForm::showPreparationReport(ResultCode code) {
    const auto report = preparationErrorReport(code);
    if (report)
        platform_.ui.messageDialog(report->kind, report->text, {report->button});
    return report.has_value();
}

void TInstallerForm::cleanUpStep(const char* name, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        trace(name, error.what());
    }
}

void TInstallerForm::installBtnClick() {
    InstallFlags& flags = reporter_.flags;
    if (flags.installRunning)
        return;
    flags.installRunning = true;
    flags.installCancelled = false;
    ResultCode code = result::kOk;
    try {
        // The window may close again whatever the click handler raised.
        const ScopeExit installEnded([&] { flags.installRunning = false; });
        code = installScreenSaver();
        if (!flags.installCancelled && code == result::kOk)
            openScreenSaverControlPanel(reporter_, platform_.ui, launcher_, texts_,
                                        context_.package.header.offerControlPanel);
    } catch (const std::exception& error) {
        // Nothing may leave a window's message handler; the installation has
        // cleaned up behind itself already. The window stays, as after any
        // failure.
        trace("installBtnClick", error.what());
        code = result::kPreparationFailed;
    }
    if (code == result::kOk)
        close();
}

void TInstallerForm::cancelBtnClick() {
    if (reporter_.flags.installRunning) {
        reporter_.flags.installCancelled = true;
        layout::setAbortingState(form_);
        renderForm();
        reporter_.pauseBriefly();
        reporter_.pauseBriefly();
        return;
    }
    close();
}

void TInstallerForm::doneBtnClick() {
    close();
}

bool TInstallerForm::FormCloseQuery() {
    return !reporter_.flags.installRunning;
}

void TInstallerForm::close() {
    if (closed_ || !FormCloseQuery())
        return;
    FormClose();
}

void TInstallerForm::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    // Each step runs whatever the one before raised: the application ends.
    if (!quiet())
        cleanUpStep("closeMovie", [&] { moviePanel1_->closeMovie(); });
    // The code in the work folder is let go first, then the folder's content,
    // and the folder's own hold right before the folder itself.
    cleanUpStep("releaseHeldCode", [&] {
        context_.heldLibrary.reset();
        context_.heldPlayerInstaller.reset();
    });
    if (!context_.paths.workDir.empty()) {
        bool removed = false;
        cleanUpStep("removeWorkFolder", [&] {
            removed = deleteHeldFolderTree(platform_.files, context_.paths.workDir,
                                           std::move(context_.paths.workFolderHold),
                                           context_.paths.protectedFolders) == result::kOk;
        });
        // What stays (a file another program holds) goes at the next restart.
        if (!removed && !isProtectedFolder(context_.paths.workDir, context_.paths.protectedFolders))
            cleanUpStep("removeWorkFolderAtRestart",
                        [&] { deleteAtRestart(platform_.files, context_.paths.workDir); });
    }
    cleanUpStep("postCloseToLauncher", [&] { launcher_.postCloseToLauncher(); });
    view_.terminate(exitCode_);
}

void TInstallerForm::FormShow() {
    platform_.ui.bringApplicationToFront();
    trace("active = ", view_.applicationActive() ? "true" : "false");
}

void TInstallerForm::pauseTimerTimer() {
    pauseTimerEnabled_ = false;
}

void TInstallerForm::userResize(layout::Size requested) {
    layout::userResize(form_, requested);
    renderForm();
}

void TInstallerForm::showStatusText(const std::string& text) {
    layout::showStatusText(form_, text);
    renderForm();
}

void TInstallerForm::advanceProgressBar() {
    layout::advanceProgressBar(form_);
    renderForm();
}

bool TInstallerForm::enablePauseTimer(std::uint32_t intervalMilliseconds) {
    pauseTimerEnabled_ = view_.enablePauseTimer(intervalMilliseconds);
    return pauseTimerEnabled_;
}

bool TInstallerForm::pauseTimerEnabled() const {
    return pauseTimerEnabled_;
}
