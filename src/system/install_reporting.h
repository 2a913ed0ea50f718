// How every installation step reports: the status line, the progress bar,
// the brief pauses that keep the window alive, the cancel flags and the
// installation error dialog.
#pragma once

#include <cstdint>
#include <string>

#include "base/result_codes.h"
#include "platform/platform.h"

// The few controls of the installer window that the reporting drives.
class ProgressView {
  public:
    virtual ~ProgressView() = default;
    // Makes the status line visible, sets its text and repaints it at once.
    virtual void showStatusText(const std::string& text) = 0;
    // Advances the progress bar by its step.
    virtual void advanceProgressBar() = 0;
    // Starts the pause timer; its handler disables it again when it fires.
    // False when no timer could be made.
    virtual bool enablePauseTimer(std::uint32_t intervalMilliseconds) = 0;
    virtual bool pauseTimerEnabled() const = 0;
};

struct InstallFlags {
    bool installRunning = false;   // an installation started by the Install button runs
    bool installCancelled = false; // the user asked to stop the running installation
};

constexpr std::uint8_t kQuietRunMode = 4;
constexpr std::uint32_t kPauseMilliseconds = 100;

class InstallReporter {
  public:
    InstallReporter(platform::Platform& platform, ProgressView& view)
        : platform_(platform), view_(view) {}

    InstallFlags flags;
    std::uint8_t runMode = 0;

    bool quiet() const { return runMode == kQuietRunMode; }
    bool cancelled() const { return flags.installCancelled; }

    void setStatusText(const std::string& text);
    void stepProgress();
    void pauseBriefly();
    void showInstallError(ResultCode code, const std::string& fileName);

  private:
    platform::Platform& platform_;
    ProgressView& view_;
};

// The text of the installation error dialog for a code; `systemText` is the
// platform's own message for the code, used by the -523 message.
std::string installErrorMessage(ResultCode code, const std::string& fileName,
                                const std::string& systemText);
