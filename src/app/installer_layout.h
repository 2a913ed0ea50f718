// The installer window (TInstallerForm) as plain data: its size, border,
// size limits and caption, and every control's bounds, visibility, enabled
// state and caption, starting from the form resource. The rules that lay it
// out and keep it in shape when it changes size work on this data; a thin
// Win32 view renders it. The visible states are in form_states.h.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "app/window_geometry.h"
#include "system/resource_texts.h"

namespace layout {

// The form resource's window: outer size and position (the position is
// replaced, the window is centred before it is shown).
constexpr Size kInstallerFormSize{490, 363};
constexpr Position kInstallerFormPosition{832, 300};
constexpr std::string_view kInstallerFontName = "MS Sans Serif";
constexpr int kInstallerFontHeight = -11; // 8 points

// The window's width with a licence too: the size limits hold it there.
constexpr int kInstallerWidth = kInstallerFormSize.width;
// The preview panel's size; it never changes.
constexpr Size kPreviewSize{482, 272};
constexpr int kButtonPanelHeight = 63;
// The licence box's own minimum height, also the height it is given.
constexpr int kLicenceBoxMinHeight = 103;
// Cancel ends this far before the button panel's right edge ...
constexpr int kButtonPanelMargin = 1;
// ... and Install this far before Cancel.
constexpr int kButtonGap = 6;
constexpr int kInstallButtonWidth = 80;
constexpr int kAcceptButtonWidth = 115; // "Accept and Install"
// What the minimum height with a licence adds below the button panel.
constexpr int kLicenceMinHeightAllowance = 20;

enum class Control {
    contentPanel,     // panel with a lowered bevel, holds the preview
    bmpPanel,         // picture preview, fills contentPanel
    moviePanel1,      // movie preview, fills contentPanel
    licenseScrollBox, // licence text, read-only rich text
    buttonPanel,      // status line, progress bar and buttons
    labFile,          // label, kept hidden
    labCopying,       // the status line
    installbutn,      // label, hidden and disabled, does nothing
    progressBar,
    installBtn,
    doneBtn,
    cancelBtn,
};
constexpr int kControlCount = 12;

std::string_view controlName(Control control);
// The control that holds it; none for the controls placed on the window.
std::optional<Control> parentOf(Control control);

// The frames the view measured for the two border styles.
struct FrameSizes {
    NonClientSize fixed;
    NonClientSize sizeable;
    bool operator==(const FrameSizes&) const = default;
};

// Limits of the window's outer size; 0 means no limit.
struct SizeLimits {
    int minWidth = 0;
    int minHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
    bool operator==(const SizeLimits&) const = default;
};

struct ProgressState {
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    int step = 1;
    bool operator==(const ProgressState&) const = default;
};

struct InstallerFormLayout {
    FrameSizes frames;
    Position position = kInstallerFormPosition;
    Size outer = kInstallerFormSize;
    Size client;                             // outer less the frame of the current border
    BorderStyle border = BorderStyle::fixed; // system-menu button only, always
    SizeLimits limits;
    bool stayOnTop = true;
    std::string caption;

    // Bounds are relative to the parent's client area (see parentOf).
    ControlState contentPanel;
    ControlState bmpPanel;
    ControlState moviePanel1;
    ControlState licenseScrollBox;
    ControlState buttonPanel;
    ControlState labFile;
    ControlState labCopying; // its caption is the status text
    ControlState installbutn;
    ControlState progressBar;
    ControlState installBtn;
    ControlState doneBtn;
    ControlState cancelBtn;

    ProgressState progress;
    std::optional<Control> focus;

    bool operator==(const InstallerFormLayout&) const = default;
};

// The window as its form resource makes it, with the fixed border.
InstallerFormLayout makeInstallerForm(const FrameSizes& frames);

ControlState& control(InstallerFormLayout& form, Control which);
const ControlState& control(const InstallerFormLayout& form, Control which);
NonClientSize frameOf(const InstallerFormLayout& form);

// The outer size the limits allow for a requested one: a dimension above its
// maximum takes the maximum, otherwise one below its minimum the minimum.
Size constrainToLimits(const SizeLimits& limits, Size requested);

// Size changes made by the program. Like the real window they obey the size
// limits, and each one that changes the size runs FormResize.
void setOuterSize(InstallerFormLayout& form, Size requested);
void setClientHeight(InstallerFormLayout& form, int clientHeight);
// A new border keeps the outer size; the client area takes what is left.
void setBorder(InstallerFormLayout& form, BorderStyle border);
// New limits apply at once to the current size.
void setSizeLimits(InstallerFormLayout& form, const SizeLimits& limits);
// The user drags an edge: a fixed border refuses, a sizeable one gets the
// size the limits allow.
void userResize(InstallerFormLayout& form, Size requested);

// On every size change: the button panel spans the bottom of the client
// area, the buttons keep to its right edge, and the licence box takes all
// the height between the preview and the button panel.
void FormResize(InstallerFormLayout& form);
// Cancel at the button panel's right edge, Install to its left.
void placeButtons(InstallerFormLayout& form);
// The client height that shows the preview, the licence box when shown, and
// the button panel.
void fitClientHeight(InstallerFormLayout& form);
// Places the buttons and fits the client height; done once, just before the
// window is shown.
void layoutInstallerForm(InstallerFormLayout& form);

// The window width and preview size that the preparation starts from.
void setPreparationSizes(InstallerFormLayout& form);
void setInstallerCaption(InstallerFormLayout& form, const ResourceTexts& texts,
                         std::string_view saverTitle);

enum class LicenceSetup {
    none,   // the package carries no licence
    shown,  // the licence text is loaded into licenseScrollBox
    failed, // the package carries one that could not be extracted
};
// The licence box, border, size limits and buttons for the package's licence;
// the buttons' captions are resource texts.
void setupLicenceAndButtons(InstallerFormLayout& form, const ResourceTexts& texts,
                            LicenceSetup licence);

// A picture preview replaces the movie panel.
void showPicturePreview(InstallerFormLayout& form);
void centerInstallerForm(InstallerFormLayout& form, int screenWidth, int screenHeight);
// Out of sight when a player update has left no player.
void moveInstallerFormOffScreen(InstallerFormLayout& form);

// Every property, one line for the window and one per control.
std::string describe(const InstallerFormLayout& form);
std::ostream& operator<<(std::ostream& out, const InstallerFormLayout& form);

} // namespace layout
