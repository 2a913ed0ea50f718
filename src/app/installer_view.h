// What the driver needs of the two real windows: the start-up window and the
// installer window render their plain data (installer_layout.h,
// preparing_window_layout.h), and the installer window loads the preview
// picture and the licence, offers a panel for the movie, runs the pause timer
// and ends the application. The Win32 view implements it for the program,
// a recording view for the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/installer_layout.h"
#include "app/preparing_window_layout.h"
#include "platform/messaging.h"
#include "platform/player_control.h"

// What the installer window's controls and the message loop report back.
class InstallerWindowEvents {
  public:
    virtual ~InstallerWindowEvents() = default;
    virtual void installBtnClick() = 0;
    virtual void cancelBtnClick() = 0;
    virtual void doneBtnClick() = 0;
    // A close request from the system menu, the close button or Alt+F4:
    // false refuses it. When it is allowed the window closes (FormClose).
    virtual bool FormCloseQuery() = 0;
    virtual void FormClose() = 0;
    virtual void FormShow() = 0;
    // The pause timer fired.
    virtual void pauseTimerTimer() = 0;
    // The user dragged the window to this outer size.
    virtual void userResize(layout::Size requested) = 0;
};

class InstallerView {
  public:
    virtual ~InstallerView() = default;

    // Where clicks, close requests, the timer and resizes go.
    virtual void setEvents(InstallerWindowEvents& events) = 0;

    // The frames of the two windows' borders, measured once.
    virtual layout::FrameSizes installerFrames() = 0;
    virtual layout::NonClientSize preparingFrame() = 0;
    // The primary display's size in pixels.
    virtual layout::Size screenSize() = 0;

    // Makes the windows look like their data; the installer window is only
    // shown once `showInstallerWindow` was called.
    virtual void renderPreparingWindow(const layout::PreparingWindowLayout& window) = 0;
    virtual void renderInstallerWindow(const layout::InstallerFormLayout& form) = 0;
    virtual void showInstallerWindow() = 0;
    // The application's title: the text of its one taskbar button, whichever
    // of its windows is on the screen.
    virtual void setApplicationTitle(const std::string& title) = 0;
    virtual platform::WindowHandle installerWindow() = 0;

    // Loads the picture file into bmpPanel; false with a text when it cannot
    // be decoded.
    virtual bool loadPicture(const std::string& path, std::string& error) = 0;
    // Loads the licence into licenseScrollBox: as rich text, or as plain text
    // when the rich-text reader refuses it. False when the file cannot be read.
    virtual bool loadLicence(const std::string& path) = 0;
    // The window moviePanel1 plays in, inside contentPanel.
    virtual std::unique_ptr<platform::PanelWindow> createMoviePanel() = 0;

    // The pause timer: fires once after the interval (handled by the message
    // loop), which disables it.
    // False when no timer could be made.
    virtual bool enablePauseTimer(std::uint32_t intervalMilliseconds) = 0;
    virtual bool pauseTimerEnabled() const = 0;

    virtual void showHourglass(bool shown) = 0;
    virtual bool applicationActive() = 0;
    // Ends the message loop; the process then exits with `exitCode`.
    virtual void terminate(std::int32_t exitCode) = 0;
};
