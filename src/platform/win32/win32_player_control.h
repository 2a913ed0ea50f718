// The player control through COM: instances of the class registered under
// the player's class identifier, driven through their IDispatch interface.
#pragma once

#include <windows.h>

#include "platform/player_control.h"

namespace platform::win32 {

class Win32PlayerControls final : public PlayerControls {
  public:
    Win32PlayerControls() = default;
    Win32PlayerControls(const Win32PlayerControls&) = delete;
    Win32PlayerControls& operator=(const Win32PlayerControls&) = delete;
    ~Win32PlayerControls() override;

    std::unique_ptr<PlayerControl> create() override;

  private:
    // COM is started on the calling thread at the first creation and stopped
    // with the object.
    bool comStarted_ = false;
};

} // namespace platform::win32
