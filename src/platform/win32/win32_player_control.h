// The player control through COM: instances of the class registered under
// the player's class identifier, driven through their IDispatch interface,
// and, for playing, hosted by a small OLE container of our own as a child
// window with an advise sink for their events.
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
    PlayerCreation createInWindow(WindowHandle parent, int width, int height,
                                  PlayerEventHandler onEvent) override;

  private:
    void startCom();
    // OLE is started on the calling thread at the first creation and stopped
    // with the object.
    bool oleStarted_ = false;
};

} // namespace platform::win32
