// Every text the installer shows, written once. Texts are single-byte ANSI.
// The build writes them all into the program's string table; the resource
// texts among them are read back from there at run time (ResourceTexts), so
// that a translated table changes what the installer shows.
#pragma once

#include <array>
#include <string_view>

namespace text {

// A text read from the program's string table, under a number of its own
// that stays the same when texts are added. The wording here is what the
// table holds, and what is shown when the table lacks the number.
struct ResourceText {
    unsigned id;
    std::string_view text;
};

// Message dialog titles and button captions.
constexpr std::string_view kDialogTitleError = "Error";
constexpr std::string_view kDialogTitleInformation = "Information";
constexpr std::string_view kDialogTitleConfirm = "Confirm";
constexpr std::string_view kButtonYes = "&Yes";
constexpr std::string_view kButtonNo = "&No";
constexpr std::string_view kButtonOk = "OK";
// The installer window's Cancel button reads it from the string table;
// message dialogs show this wording.
constexpr ResourceText kButtonCancel{1001, "Cancel"};
constexpr std::string_view kButtonAbort = "&Abort";

// The installation error dialog.
constexpr std::string_view kInstallationError = "Installation Error: ";
constexpr std::string_view kParagraph = "\r\n\r\n";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kInsufficientPrivileges =
    "Insufficient user account privileges.\r\n\r\nThe current user account has insufficient "
    "privileges to install screen savers. Please contact your system administrator for help in "
    "performing this installation.";
constexpr std::string_view kRetryInstallation =
    "Please retry installation. If this message appears again, the installation cannot be "
    "completed because your user account has limited installation privileges.";
constexpr std::string_view kLoginAsAdministrator =
    " To complete this installation, login with administrative privileges and rerun this "
    "installer.";
constexpr std::string_view kSaverCannotBeReplaced =
    "Screensaver cannot be replaced.\r\n\r\nPlease close the screen saver control panel and try "
    "again. If the install fails again, you may have insufficient privileges to install screen "
    "savers. Please contact your system administrator for assistance.";
constexpr std::string_view kInstallerMayBeCorrupted =
    "Installer may be corrupted. Please get a new copy and try installation again.\r\n\r\nFile: ";
constexpr std::string_view kFileIsBusy =
    " File is busy and cannot be replaced. Please close any other application that may be using "
    "this file and try again.\r\n\r\nFile: ";
constexpr std::string_view kEarlierSaverNotPutBack =
    "The screen saver installed before could not be put back in its place. Its files were kept "
    "under these names:";
constexpr std::string_view kProblemWithFile = "Problem with file ";
constexpr std::string_view kProblemWithFileEnd = ". ";

// Extraction and the saver data file.
constexpr std::string_view kWritingSaverFiles = "Writing screen saver files...";
constexpr std::string_view kExpandingFiles = "Expanding files...";
constexpr std::string_view kWritingSaverDataFile = "Writing saver data file...";
constexpr std::string_view kVellarmontError = "Vellarmont Error: ";
constexpr std::string_view kDataFileInUse = "Screensaver data file already in use.";
constexpr std::string_view kProblemOpeningDataFile =
    "Problem opening screen saver data file.\r\n\r\nFile: ";
constexpr std::string_view kProblemReadingDataFile = "Problem reading screen saver data file. ";
constexpr std::string_view kProblemClosingFile = "Problem closing file.\r\n\r\nFile: ";

// The implode binding.
constexpr std::string_view kZipError = "Zip Error: Problem expanding data in memory. ";

// The CRC-32 self-test.
constexpr std::string_view kCrcTableIs = "CRC32 Table CRC32 is ";
constexpr std::string_view kCrcTableExpecting = ", expecting $6FCF9E13";

// Resource texts of the saver names.
constexpr ResourceText kScreenSaver{1002, "Screen Saver"};
constexpr ResourceText kInstall{1003, "Install"};

// Resource texts of the registration.
constexpr ResourceText kSaverAlreadyExists{1004, " screen saver already exists. Overwrite?"};
constexpr ResourceText kDisplayPropertiesTitle{1005, "Display Properties"};
constexpr ResourceText kScreensaverSettingsTitle{1006, "Screensaver Settings"};
constexpr ResourceText kOpenControlPanelQuestion{
    1007, "The installation of the screen saver was successful.\r\n\r\nWould you like to open the "
          "screen saver control panel?"};
constexpr std::string_view kOpeningControlPanel =
    "Opening the Display Properties control panel. Please standby...";

// The start-up window.
constexpr ResourceText kPreparingInstallation{1008, "Preparing Installation..."};

// The installer window: button captions (the Install button uses kInstall,
// Cancel kButtonCancel) and status texts.
constexpr ResourceText kAcceptAndInstall{1009, "Accept and Install"};
constexpr ResourceText kClose{1010, "Close"};
constexpr std::string_view kInstallingScreenSaver = "Installing Screen Saver...";
constexpr std::string_view kInstallationComplete = "Screensaver Installation and Setup Complete.";
constexpr std::string_view kAbortedInsufficientPrivileges =
    "Installation Aborted: Insufficient user account privileges.";
constexpr std::string_view kAbortedSaverCannotBeReplaced =
    "Installation Aborted: Screensaver cannot be replaced.";
constexpr std::string_view kInstallFailed = "Install failed. Error: ";
constexpr std::string_view kAbortedCleaningUp = "Installation Aborted. Cleaning up files...";
// The form resource's own captions, replaced before the window is shown.
constexpr std::string_view kInstallButtonDesignCaption = "&Install";
constexpr std::string_view kStatusLineDesignCaption =
    "Installation and setup the screen saver was completed successfully.";

// The start-up window as the status window of an installation without preview.
constexpr std::string_view kInstallationSuccessful = "Installation Successful.";
constexpr std::string_view kInstallationCancelled = "Installation Cancelled";

// A preview picture that cannot be decoded.
constexpr std::string_view kCorruptFile = "CorruptFile: ";

// The error report at the end of the preparation.
constexpr std::string_view kFlashPlayerSite = "http://www.adobe.com/go/getflashplayer";
constexpr std::string_view kNotCompatibleWithNt =
    "This screen saver is not compatible with Windows NT.";
constexpr std::string_view kFlashInstallationFailed =
    "Adobe Flash Player Installation Failed.\r\n\r\n";
constexpr std::string_view kFlashRequiredDownloadFrom =
    "This screen saver requires the Adobe Flash Player. Please download and install the latest "
    "Adobe Flash Player for Internet Explorer from ";
constexpr std::string_view kFlashThenRetry = " then retry this installation.";
constexpr std::string_view kFlashLimitedPrivileges =
    " If this message appears again, the installation cannot be completed because your user "
    "account has limited installation privileges.";
constexpr std::string_view kFlashLoginAsAdministrator =
    " To complete this installation, login with administrative privileges and rerun this "
    "installer.";
constexpr std::string_view kFlashLatestRequired =
    "This screen saver requires the latest Adobe Flash Player for Internet Explorer.\r\n\r\n"
    "Please download the free player from ";
constexpr std::string_view kFlashAndRetry = " and retry this installation.";
constexpr std::string_view kInstallerFileCorrupted = "Installer file is corrupted. ";
constexpr std::string_view kVellarmontErrorEnd = ". ";

// Why a preview picture cannot be shown (after kCorruptFile).
constexpr std::string_view kPictureNotReadable = "Cannot open file ";
constexpr std::string_view kBitmapNotValid = "Bitmap image is not valid.";
constexpr std::string_view kJpegError = "JPEG error: ";
constexpr std::string_view kPictureTooLarge = "Not enough memory for the picture.";

// Every resource text, loaded together at start-up.
inline constexpr std::array kResourceTexts{
    kButtonCancel,
    kScreenSaver,
    kInstall,
    kSaverAlreadyExists,
    kDisplayPropertiesTitle,
    kScreensaverSettingsTitle,
    kOpenControlPanelQuestion,
    kPreparingInstallation,
    kAcceptAndInstall,
    kClose,
};

constexpr bool resourceNumbersUnique() {
    for (std::size_t i = 0; i < kResourceTexts.size(); ++i)
        for (std::size_t j = i + 1; j < kResourceTexts.size(); ++j)
            if (kResourceTexts[i].id == kResourceTexts[j].id)
                return false;
    return true;
}
static_assert(resourceNumbersUnique(), "two resource texts share a number");

} // namespace text
