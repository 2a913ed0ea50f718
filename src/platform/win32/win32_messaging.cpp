#include "platform/win32/win32_messaging.h"

namespace platform::win32 {

// Window handles have 32 significant bits on every Windows: a 64-bit program
// may cut one to 32 bits and must sign-extend it when it widens it again.
WindowHandle handleValue(HWND window) {
    return static_cast<WindowHandle>(reinterpret_cast<UINT_PTR>(window));
}

HWND windowFrom(WindowHandle handle) {
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(handle)));
}

WindowHandle Win32Messaging::findWindowByTitle(const std::string& title) {
    return handleValue(FindWindowA(nullptr, title.c_str()));
}

void Win32Messaging::clickDialogButton(WindowHandle dialog, int controlId) {
    SendDlgItemMessageA(windowFrom(dialog), controlId, BM_CLICK, 0, 0);
}

std::int32_t Win32Messaging::sendCopyData(WindowHandle target, WindowHandle sender,
                                          std::uint32_t dwData, const void* data,
                                          std::uint32_t size) {
    COPYDATASTRUCT record{};
    record.dwData = dwData;
    record.cbData = size;
    record.lpData = const_cast<void*>(data);
    const LRESULT reply =
        SendMessageA(windowFrom(target), WM_COPYDATA, reinterpret_cast<WPARAM>(windowFrom(sender)),
                     reinterpret_cast<LPARAM>(&record));
    return static_cast<std::int32_t>(reply);
}

void Win32Messaging::postMessage(WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                                 std::int32_t lParam) {
    PostMessageA(windowFrom(target), message, wParam, lParam);
}

} // namespace platform::win32
