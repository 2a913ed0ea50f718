// The SWF player control: the ActiveX control registered under the Shockwave
// Flash class identifier, or any control that takes its place there. The
// installer creates instances, asks them for movie variables and releases
// them; releasing is destroying the object.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
constexpr const char* kPlayerClassId = "{D27CDB6E-AE6D-11CF-96B8-444553540000}";

class PlayerControl {
  public:
    virtual ~PlayerControl() = default;
    // GetVariable: the movie variable's value as text; nothing when the call
    // fails.
    virtual std::optional<std::string> getVariable(const std::string& name) = 0;
};

class PlayerControls {
  public:
    virtual ~PlayerControls() = default;
    // A new instance owned by the application, without a parent window;
    // nothing when it cannot be created (not installed, not registered, or
    // the control refused).
    virtual std::unique_ptr<PlayerControl> create() = 0;
};

} // namespace platform
