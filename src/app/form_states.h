// The installer window's status line, progress bar and visible states, as
// changes to its data. The driver calls one function per state at the moment
// the state begins; each changes only what that moment changes, so the
// states follow from one another: ready, installing, then complete, failed
// or aborting, and ready again after an abort. None of them is for a quiet
// installation, whose window is never shown.
#pragma once

#include <string_view>

#include "app/installer_layout.h"
#include "base/result_codes.h"

namespace layout {

// The progress bar runs from 0 to this in steps of 1 while installing.
constexpr int kProgressSteps = 10;

// Makes the status line visible and sets its text.
void showStatusText(InstallerFormLayout& form, std::string_view text);
// Positions and maxima outside the range are pulled into it, as the
// progress bar control does.
void setProgressPosition(InstallerFormLayout& form, int position);
void setProgressMaximum(InstallerFormLayout& form, int maximum);
// One step on; past the maximum the bar starts over from its minimum.
void advanceProgressBar(InstallerFormLayout& form);

// The end of the preparation: progress 0 of 10, buttons placed and client
// height fitted, the window centred on the screen.
void setReadyState(InstallerFormLayout& form, int screenWidth, int screenHeight);
// Install disabled, Cancel shown, "Installing Screen Saver...".
void setInstallingState(InstallerFormLayout& form);
// A successful installation first fills the progress bar; the complete
// state follows after a brief pause.
void fillProgressBar(InstallerFormLayout& form);
// Progress 0, the completion text, only the Close button, focused.
void setCompleteState(InstallerFormLayout& form);
// Progress 0 and the failure text for the code; the buttons stay as they
// were (Install disabled, Cancel now closes the window).
void setFailedState(InstallerFormLayout& form, ResultCode code);
// Cancel clicked while installing: the clean-up text and progress 0.
void setAbortingState(InstallerFormLayout& form);
// Ready for another attempt: progress 0, the status line visible but empty,
// Install and Cancel enabled.
void setReadyAfterAbortState(InstallerFormLayout& form);

} // namespace layout
