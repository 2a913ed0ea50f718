// The start-up window (TpreparingInstallWnd): a small fixed window with one
// label, "Preparing Installation...". It starts off-screen, is centred once
// the package header has been read (or moved away for a quiet installation),
// and serves as the status window of an installation without preview.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "app/window_geometry.h"
#include "system/resource_texts.h"

namespace layout {

constexpr Size kPreparingClientSize{264, 91};
constexpr Position kPreparingStartPosition{-1560, -3000};

struct PreparingWindowLayout {
    NonClientSize frame; // the fixed border's frame, measured by the view
    Position position = kPreparingStartPosition;
    Size client = kPreparingClientSize;
    BorderStyle border = BorderStyle::fixed; // system-menu button only
    bool visible = true;
    std::string title;
    // Fills the client area; text centred both ways on the button face.
    ControlState Label1{
        {0, 0, kPreparingClientSize.width, kPreparingClientSize.height}, true, true, ""};
    bool operator==(const PreparingWindowLayout&) const = default;
};

// The window as created: off-screen, titled with the executable's file name
// without its folder, and the label reading the resource text "Preparing
// Installation...".
PreparingWindowLayout makePreparingWindow(NonClientSize frame, std::string_view executablePath,
                                          const ResourceTexts& texts);

Size outerSize(const PreparingWindowLayout& window);

// The label's text; the view repaints the label at once.
void setMessage(PreparingWindowLayout& window, std::string_view text);
void moveOffScreen(PreparingWindowLayout& window);
// Centred on a screen of the given size in pixels (the primary display's).
void centerOnScreen(PreparingWindowLayout& window, int screenWidth, int screenHeight);

std::string describe(const PreparingWindowLayout& window);
std::ostream& operator<<(std::ostream& out, const PreparingWindowLayout& window);

} // namespace layout
