#include "app/form_states.h"

#include <algorithm>
#include <string>

#include "base/texts.h"

namespace layout {

namespace {

std::string failureText(ResultCode code) {
    switch (code) {
    case result::kAccessDenied:
        return std::string(text::kAbortedInsufficientPrivileges);
    case result::kSaverBusy:
        return std::string(text::kAbortedSaverCannotBeReplaced);
    default:
        return std::string(text::kInstallFailed) + std::to_string(code);
    }
}

} // namespace

void showStatusText(InstallerFormLayout& form, std::string_view text) {
    form.labCopying.visible = true;
    form.labCopying.caption = text;
}

void setProgressPosition(InstallerFormLayout& form, int position) {
    form.progress.position = std::clamp(position, form.progress.minimum, form.progress.maximum);
}

void setProgressMaximum(InstallerFormLayout& form, int maximum) {
    form.progress.maximum = std::max(maximum, form.progress.minimum);
    setProgressPosition(form, form.progress.position);
}

void advanceProgressBar(InstallerFormLayout& form) {
    ProgressState& progress = form.progress;
    progress.position += progress.step;
    if (progress.position > progress.maximum)
        progress.position = progress.minimum;
}

void setReadyState(InstallerFormLayout& form, int screenWidth, int screenHeight) {
    setProgressMaximum(form, kProgressSteps);
    layoutInstallerForm(form);
    centerInstallerForm(form, screenWidth, screenHeight);
}

void setInstallingState(InstallerFormLayout& form) {
    form.labFile.visible = false;
    form.installBtn.enabled = false;
    form.cancelBtn.visible = true;
    showStatusText(form, text::kInstallingScreenSaver);
}

void fillProgressBar(InstallerFormLayout& form) {
    setProgressPosition(form, form.progress.maximum);
}

void setCompleteState(InstallerFormLayout& form) {
    setProgressPosition(form, 0);
    showStatusText(form, text::kInstallationComplete);
    form.doneBtn.visible = true;
    form.focus = Control::doneBtn;
    form.installBtn.visible = false;
    form.cancelBtn.visible = false;
    form.installBtn.enabled = false;
}

void setFailedState(InstallerFormLayout& form, ResultCode code) {
    setProgressPosition(form, 0);
    showStatusText(form, failureText(code));
}

void setAbortingState(InstallerFormLayout& form) {
    showStatusText(form, text::kAbortedCleaningUp);
    setProgressPosition(form, 0);
}

void setReadyAfterAbortState(InstallerFormLayout& form) {
    setProgressPosition(form, 0);
    showStatusText(form, "");
    form.cancelBtn.enabled = true;
    form.installBtn.enabled = true;
}

} // namespace layout
