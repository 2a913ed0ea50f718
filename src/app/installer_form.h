// The installer window (TInstallerForm) and the installation driver behind
// it: the preparation that runs when the window is created, the installation
// proper, and the handlers that end a run. The window itself is plain data
// (installer_layout.h) that an InstallerView renders.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/installer_layout.h"
#include "app/installer_view.h"
#include "app/preparing_window_layout.h"
#include "base/result_codes.h"
#include "flash/flash_panel.h"
#include "payload/installer_context.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "system/earlier_saver.h"
#include "system/install_reporting.h"
#include "system/launcher_channel.h"
#include "system/resource_texts.h"

// A message of the error report that ends a failed preparation.
struct PreparationReport {
    platform::DialogKind kind;
    std::string text;
    platform::DialogButton button;
};
// Nothing for -454, which the user chose and which shows no message, and for
// -545, whose message was shown where it happened.
std::optional<PreparationReport> preparationErrorReport(ResultCode code);

class TInstallerForm final : public InstallerWindowEvents, public ProgressView {
  public:
    // `arguments` are the command-line arguments after the program name.
    TInstallerForm(platform::Platform& platform, InstallerView& view,
                   std::vector<std::string> arguments, std::string executablePath);
    TInstallerForm(const TInstallerForm&) = delete;
    TInstallerForm& operator=(const TInstallerForm&) = delete;
    ~TInstallerForm() override;

    // The window's creation: the preparation runs to its end. It may already
    // have closed the window and ended the application.
    void FormCreate();

    void prepareInstallation();
    ResultCode installScreenSaver();
    ResultCode installWithoutPreview();
    void installQuietly();
    void setupInstallerFormForInstallation();
    void setupFormForInstallationComplete(ResultCode code);
    void resetFormAfterAbort();
    void removeInstalledFiles();

    // InstallerWindowEvents
    void installBtnClick() override;
    void cancelBtnClick() override;
    void doneBtnClick() override;
    bool FormCloseQuery() override;
    void FormClose() override;
    void FormShow() override;
    void pauseTimerTimer() override;
    void userResize(layout::Size requested) override;

    // ProgressView
    void showStatusText(const std::string& text) override;
    void advanceProgressBar() override;
    bool enablePauseTimer(std::uint32_t intervalMilliseconds) override;
    bool pauseTimerEnabled() const override;

    bool quiet() const { return reporter_.quiet(); }
    bool closed() const { return closed_; }
    std::int32_t exitCode() const { return exitCode_; }
    std::uint8_t runMode() const { return reporter_.runMode; }
    const InstallFlags& flags() const { return reporter_.flags; }
    const layout::InstallerFormLayout& form() const { return form_; }
    const layout::PreparingWindowLayout& preparingWindow() const { return preparing_; }
    InstallerContext& context() { return context_; }
    TFlashPanel& moviePanel1() { return *moviePanel1_; }

  private:
    // Closes the window unless an installation started by the Install button
    // runs; closing ends the application.
    void close();
    void showPreview(ResultCode& code, bool& installedWithoutPreview);
    // The steps of installScreenSaver before its clean-up; an earlier saver
    // is set aside into `earlier`.
    ResultCode runInstallationSteps(EarlierSaver& earlier);
    // Puts an earlier saver back after a failed installation; a set-aside
    // copy that stays is named in a message.
    void restoreEarlierSaver(EarlierSaver& earlier);
    // The exit code of a run that ends without installing: the code that
    // ended it when the run is quiet (by the package or by "/q") or ends
    // before its mode is known.
    void endWithoutInstalling(ResultCode code);
    // The error report's message for the code, when it has one.
    bool showPreparationReport(ResultCode code);
    // A step of a clean-up: what it raises is traced, and the clean-up goes on.
    void cleanUpStep(const char* name, const std::function<void()>& step);
    void renderForm();
    void renderPreparingWindow();

    platform::Platform& platform_;
    InstallerView& view_;
    std::string executablePath_;
    // "/q" was given: the run is quiet even when it ends before the switches
    // are announced.
    bool quietSwitchGiven_ = false;
    InstallReporter reporter_;
    InstallerContext context_;
    // The resource texts of the program's string table, read once.
    ResourceTexts texts_;
    // The player version found first, kept for the whole run.
    PlayerVersionCache playerVersionCache_;
    LauncherState launcherState_;
    LauncherChannel launcher_;
    layout::InstallerFormLayout form_;
    layout::PreparingWindowLayout preparing_;
    std::unique_ptr<TFlashPanel> moviePanel1_;
    bool pauseTimerEnabled_ = false;
    bool closed_ = false;
    std::int32_t exitCode_ = 0;
    // Set once the installation got past setting aside an earlier saver:
    // only then does a failure remove what the run placed.
    bool placingStarted_ = false;
    // The package's header was read: the run mode is known.
    bool modeKnown_ = false;
    // Where the running installation wrote the uninstall entry.
    std::vector<platform::RegistryRoot> uninstallEntryRoots_;
};
