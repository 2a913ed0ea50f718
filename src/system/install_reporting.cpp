#include "system/install_reporting.h"

#include <exception>

#include "base/texts.h"
#include "base/trace.h"

void InstallReporter::setStatusText(const std::string& text) {
    if (quiet())
        return;
    view_.showStatusText(text);
}

void InstallReporter::stepProgress() {
    if (quiet())
        return;
    view_.advanceProgressBar();
    pauseBriefly();
}

void InstallReporter::pauseBriefly() {
    // Without a timer nothing would end the wait: go on without the pause.
    // The pause only keeps the window alive, so a message handler that
    // raises ends it and the step goes on.
    try {
        if (view_.enablePauseTimer(kPauseMilliseconds)) {
            while (view_.pauseTimerEnabled())
                platform_.ui.handleNextMessage();
        }
    } catch (const std::exception& error) {
        trace("pauseBriefly", error.what());
    }
    platform_.ui.bringApplicationToFront();
}

void InstallReporter::showInstallError(ResultCode code, const std::string& fileName) {
    const std::string systemText =
        code == result::kCopyPackageFailed ? platform_.system.errorMessageText(code) : "";
    platform_.ui.messageDialog(platform::DialogKind::Error,
                               installErrorMessage(code, fileName, systemText),
                               {platform::DialogButton::Abort});
}

std::string installErrorMessage(ResultCode code, const std::string& fileName,
                                const std::string& systemText) {
    std::string message(text::kInstallationError);
    switch (code) {
    case result::kAccessDenied:
        message += fileName;
        message += text::kParagraph;
        message += text::kInsufficientPrivileges;
        break;
    case result::kCopyPackageFailed:
        message += fileName;
        message += systemText;
        message += text::kParagraph;
        message += text::kRetryInstallation;
        message += text::kLoginAsAdministrator;
        break;
    case result::kSaverBusy:
        message += text::kSaverCannotBeReplaced;
        break;
    case result::kInstallerCorrupted:
        message += text::kInstallerMayBeCorrupted;
        message += fileName;
        break;
    case result::kFileBusy:
        message += text::kFileIsBusy;
        message += fileName;
        break;
    case result::kNotRemoved:
        break;
    default:
        message += fileName;
        message += text::kParagraph;
        message += text::kProblemWithFile;
        message += fileName;
        message += text::kProblemWithFileEnd;
        break;
    }
    return message;
}
