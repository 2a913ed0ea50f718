// Every text the installer shows, written once. Texts are single-byte ANSI.
#pragma once

#include <string_view>

namespace text {

// Message dialog titles and button captions.
constexpr std::string_view kDialogTitleError = "Error";
constexpr std::string_view kDialogTitleInformation = "Information";
constexpr std::string_view kDialogTitleConfirm = "Confirm";
constexpr std::string_view kButtonYes = "&Yes";
constexpr std::string_view kButtonNo = "&No";
constexpr std::string_view kButtonOk = "OK";
constexpr std::string_view kButtonCancel = "Cancel";
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
constexpr std::string_view kScreenSaver = "Screen Saver";
constexpr std::string_view kInstall = "Install";

// Resource texts of the registration.
constexpr std::string_view kSaverAlreadyExists = " screen saver already exists. Overwrite?";
constexpr std::string_view kDisplayPropertiesTitle = "Display Properties";
constexpr std::string_view kScreensaverSettingsTitle = "Screensaver Settings";
constexpr std::string_view kOpenControlPanelQuestion =
    "The installation of the screen saver was successful.\r\n\r\nWould you like to open the "
    "screen saver control panel?";
constexpr std::string_view kOpeningControlPanel =
    "Opening the Display Properties control panel. Please standby...";

// The start-up window.
constexpr std::string_view kPreparingInstallation = "Preparing Installation...";

// The installer window: button captions (the Install button uses kInstall,
// Cancel kButtonCancel) and status texts.
constexpr std::string_view kAcceptAndInstall = "Accept and Install";
constexpr std::string_view kClose = "Close";
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

} // namespace text
