// Plain geometry of the installer's two windows: sizes, bounds and the state
// of one control, as the window code keeps them. A thin Win32 view turns them
// into real windows; the rules that change them need no Windows at all.
#pragma once

#include <iosfwd>
#include <string>

namespace layout {

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

struct Position {
    int left = 0;
    int top = 0;
    bool operator==(const Position&) const = default;
};

// A control's place inside its parent's client area.
struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const Bounds&) const = default;
};

// What the frame (border and caption) adds to the client area. The view
// measures it for each border style; the outer size is client + frame.
struct NonClientSize {
    int width = 0;
    int height = 0;
    bool operator==(const NonClientSize&) const = default;
};

enum class BorderStyle {
    fixed,    // single border, the user cannot size the window
    sizeable, // thick border, the user drags the edges
};

struct ControlState {
    Bounds bounds;
    bool visible = true;
    bool enabled = true;
    std::string caption; // the caption of a button, the text of a label
    bool operator==(const ControlState&) const = default;
};

// Outside every screen; a window moved there stays visible.
constexpr Position kOffScreenPosition{-3000, -3000};

// Where a window of the given outer size sits centred on a screen; both
// halves round toward zero, so a window wider than the screen gets a
// negative left rounded up.
constexpr Position centredPosition(Size outer, int screenWidth, int screenHeight) {
    return {(screenWidth - outer.width) / 2, (screenHeight - outer.height) / 2};
}

// One line such as "10,20 80x25 visible enabled \"Close\"", for test diffs.
std::string describe(const ControlState& control);

std::ostream& operator<<(std::ostream& out, Size size);
std::ostream& operator<<(std::ostream& out, Position position);
std::ostream& operator<<(std::ostream& out, const Bounds& bounds);

} // namespace layout
