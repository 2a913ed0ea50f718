// Driving another program's windows the way a person would: finding its
// windows and dialogs, reading their texts and places through the API,
// clicking with the mouse, dragging an edge and taking pictures of the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winetest {

// Polls `condition` every 50 ms, handling this thread's messages, until it
// holds or `timeoutMilliseconds` have passed; true when it held.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds = 30000);

// A visible top-level window of the class (and title, when given), from any
// process; nullptr when there is none.
HWND visibleWindow(const std::string& className, const char* title = nullptr);
// The same, waited for.
HWND waitForWindow(const std::string& className, const char* title = nullptr,
                   DWORD timeoutMilliseconds = 30000);

// The visible top-level windows of the process that owns `window` which the
// taskbar shows a button for: those with WS_EX_APPWINDOW, and the unowned
// ones that are no tool windows.
std::vector<HWND> taskbarWindowsOf(HWND window);

// A message dialog by its title.
inline HWND dialogTitled(const char* title) {
    return visibleWindow("#32770", title);
}

std::string textOf(HWND window);
std::string classOf(HWND window);
// Every descendant, depth first.
std::vector<HWND> descendants(HWND window);
// The first descendant whose text is `text`, or whose class begins with
// `classPrefix`; nullptr when there is none.
HWND childWithText(HWND parent, const std::string& text);
HWND childOfClass(HWND parent, const std::string& classPrefix);
// The texts of a dialog's static controls, joined by new lines.
std::string dialogText(HWND dialog);

// A window's rectangle in the client coordinates of `reference`.
RECT boundsIn(HWND window, HWND reference);
SIZE clientSize(HWND window);
bool visible(HWND window);
bool enabled(HWND window);

// Mouse input at a point of the screen, through the system's input queue.
void clickAt(POINT screen, bool rightButton = false);
// A left click in the middle of a window.
void click(HWND window);
// Presses the left button at `from`, moves by (dx, dy) in steps and lets go.
void drag(POINT from, int dx, int dy);

// The visible top-level windows with their classes and titles, and the
// texts of dialogs: what a failed check saw on the screen.
std::string screenReport();

// The process that owns a window ends within `timeoutMilliseconds`; false
// when it still runs.
bool waitForProcessOf(HWND window, DWORD timeoutMilliseconds);
// Ends every process that still shows a window of the class.
void endProcessesWithWindow(const std::string& className);

// The installer's own windows and controls, by their classes and places.
constexpr const char* kInstallerFormClass = "VlxInstallerForm";
constexpr const char* kInstallerPanelClass = "VlxFormPanel";
constexpr const char* kInstallerPictureClass = "VlxPicture";
HWND installerContentPanel(HWND form);
HWND installerButtonPanel(HWND form);
// "Install" or "Accept and Install".
HWND installerInstallButton(HWND form);
// The status line: the second label of the button panel.
HWND installerStatusLine(HWND form);

// What the screen shows of a window's area, kept as a picture file too.
class ScreenPicture {
  public:
    ScreenPicture(HWND window, const std::string& file);
    // The colour at a point of the window's area, as a COLORREF.
    COLORREF at(int x, int y) const;
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    void save(const std::string& file) const;

    RECT rect_{};
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Colours that differ by at most `tolerance` in each channel.
bool closeColours(COLORREF a, COLORREF b, int tolerance);

} // namespace winetest
