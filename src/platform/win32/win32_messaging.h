// Other programs' windows through the ANSI user32 calls.
#pragma once

#include <windows.h>

#include "platform/messaging.h"

namespace platform::win32 {

class Win32Messaging final : public Messaging {
  public:
    WindowHandle findWindowByTitle(const std::string& title) override;
    void clickDialogButton(WindowHandle dialog, int controlId) override;
    std::int32_t sendCopyData(WindowHandle target, WindowHandle sender, std::uint32_t dwData,
                              const void* data, std::uint32_t size) override;
    void postMessage(WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                     std::int32_t lParam) override;
};

// The 32-bit value of a window handle and back.
WindowHandle handleValue(HWND window);
HWND windowFrom(WindowHandle handle);

} // namespace platform::win32
