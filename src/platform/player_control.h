// The SWF player control: the ActiveX control registered under the Shockwave
// Flash class identifier, or any control that takes its place there. The
// installer creates instances (for a version query, or placed in a panel to
// play a movie), sets properties, calls methods, asks for OLE verbs and
// receives events. Releasing an instance is destroying the object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/messaging.h"

namespace platform {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
constexpr const char* kPlayerClassId = "{D27CDB6E-AE6D-11CF-96B8-444553540000}";
// The control's event interface.
constexpr const char* kPlayerEventsId = "{D27CDB6D-AE6D-11CF-96B8-444553540000}";

// OLE verbs.
constexpr std::int32_t kVerbShow = -1; // OLEIVERB_SHOW
constexpr std::int32_t kVerbHide = -3; // OLEIVERB_HIDE

// A value passed to the control's dispatch interface.
using DispatchValue = std::variant<bool, std::int32_t, std::string>;

class PlayerControl {
  public:
    virtual ~PlayerControl() = default;
    // GetVariable: the movie variable's value as text; nothing when the call
    // fails.
    virtual std::optional<std::string> getVariable(const std::string& name) = 0;
    // Writes a property by its dispatch identifier; false when the control
    // refused.
    virtual bool setProperty(std::int32_t dispatchId, const DispatchValue& value) = 0;
    // Calls a method by name; false when the control has no such method or
    // the call failed.
    virtual bool callMethod(const std::string& name,
                            const std::vector<DispatchValue>& arguments) = 0;
    // Asks a placed control for an OLE verb; false when it refused.
    virtual bool doVerb(std::int32_t verb) = 0;
};

// An event of a placed control: its dispatch identifier and its arguments as
// text, first argument first.
using PlayerEventHandler =
    std::function<void(std::int32_t dispatchId, const std::vector<std::string>& arguments)>;

// What creating a control for a window gave: the instance, none when none
// could be created (not installed, not registered, or the control refused),
// and whether it was also placed in the window.
struct PlayerCreation {
    std::unique_ptr<PlayerControl> control;
    bool placed = false;
};

class PlayerControls {
  public:
    virtual ~PlayerControls() = default;
    // A new instance owned by the application, without a parent window;
    // nothing when it cannot be created (not installed, not registered, or
    // the control refused).
    virtual std::unique_ptr<PlayerControl> create() = 0;
    // A new instance placed as a child window of `parent` at its top left
    // corner with the given size, its events going to `onEvent` on this
    // thread. An instance that was created but could not be placed there is
    // handed out all the same, with `placed` false.
    virtual PlayerCreation createInWindow(WindowHandle parent, int width, int height,
                                          PlayerEventHandler onEvent) = 0;
};

enum class PanelBevel { None, Lowered, Raised };

// A plain child window that fills its parent: the panel a movie plays in. A
// new one has a raised outer bevel, 1 pixel wide, as panels do.
class PanelWindow {
  public:
    virtual ~PanelWindow() = default;
    virtual WindowHandle handle() = 0;
    virtual int width() = 0;
    virtual int height() = 0;
    // The panel's own visibility (its WS_VISIBLE style), also while the
    // window it lies in is still hidden.
    virtual bool visible() = 0;
    virtual void setSize(int width, int height) = 0;
    // The background colour as 0x00BBGGRR (a COLORREF).
    virtual void setColor(std::uint32_t color) = 0;
    // Lays the panel over its parent's whole client area (the window that
    // owns the parent lays it again when it resizes).
    virtual void fillParent() = 0;
    // The outer bevel is drawn `bevelWidth` pixels wide; none draws no edge
    // at all, whatever the width.
    virtual void setOuterBevel(PanelBevel bevel) = 0;
    virtual void setBevelWidth(int width) = 0;
    // Asks for a repaint.
    virtual void invalidate() = 0;
};

} // namespace platform
