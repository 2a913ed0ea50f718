// Other programs' windows: finding one by its title, clicking a button of a
// dialog, sending it data (WM_COPYDATA) and posting it a message. Window
// handles are the 32-bit values that Windows hands to 32-bit programs; 0 is
// no window.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using WindowHandle = std::uint32_t;

constexpr WindowHandle kNoWindow = 0;
constexpr int kCancelButtonId = 2; // IDCANCEL

class Messaging {
  public:
    virtual ~Messaging() = default;
    // The first top-level window with exactly this title, of any class
    // (FindWindowA without a class name); kNoWindow when there is none.
    virtual WindowHandle findWindowByTitle(const std::string& title) = 0;
    // Clicks the dialog's control `controlId` (BM_CLICK through
    // SendDlgItemMessageA) and returns after the dialog has handled it.
    virtual void clickDialogButton(WindowHandle dialog, int controlId) = 0;
    // Sends WM_COPYDATA synchronously: wParam is `sender`, the copied record
    // holds `dwData` and the `size` bytes at `data`. Returns the receiver's
    // reply; a handle that names no window gives 0.
    virtual std::int32_t sendCopyData(WindowHandle target, WindowHandle sender,
                                      std::uint32_t dwData, const void* data,
                                      std::uint32_t size) = 0;
    // Posts a message without waiting. With kNoWindow as target the message
    // goes to the calling thread's own queue.
    virtual void postMessage(WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                             std::int32_t lParam) = 0;
};

} // namespace platform
