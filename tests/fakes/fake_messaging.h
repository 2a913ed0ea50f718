// Other programs' windows for the unit tests: launcher windows that record
// what they receive and reply with a chosen value (or are gone), and dialogs
// that close when their Cancel button is clicked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/messaging.h"

namespace fake {

class FakeMessaging final : public platform::Messaging {
  public:
    struct CopyData {
        platform::WindowHandle target;
        platform::WindowHandle sender;
        std::uint32_t dwData;
        std::string bytes;
    };
    struct Posted {
        platform::WindowHandle target;
        std::uint32_t message;
        std::uint32_t wParam;
        std::int32_t lParam;
    };
    struct Click {
        platform::WindowHandle dialog;
        int controlId;
    };

    // A window that answers WM_COPYDATA with `reply`.
    platform::WindowHandle addWindow(const std::string& title, std::int32_t reply = 0);
    // A dialog with a Cancel button; a click on it closes the dialog.
    platform::WindowHandle addDialog(const std::string& title);
    // The window goes away; its handle stays dead.
    void destroy(platform::WindowHandle window);
    bool isOpen(platform::WindowHandle window) const;

    std::vector<CopyData> received; // WM_COPYDATA that reached a window
    int sendsToNoWindow = 0;        // WM_COPYDATA to a handle without a window
    std::vector<Posted> posted;     // every post, to any handle
    std::vector<Click> clicks;
    std::vector<std::string> searchedTitles;
    // Runs for every post to the caller's own queue (no window).
    std::function<void()> onOwnQueuePost;

    platform::WindowHandle findWindowByTitle(const std::string& title) override;
    void clickDialogButton(platform::WindowHandle dialog, int controlId) override;
    std::int32_t sendCopyData(platform::WindowHandle target, platform::WindowHandle sender,
                              std::uint32_t dwData, const void* data, std::uint32_t size) override;
    void postMessage(platform::WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                     std::int32_t lParam) override;

  private:
    struct Window {
        std::string title;
        std::int32_t reply = 0;
        bool dialog = false;
    };
    std::map<platform::WindowHandle, Window> windows_; // open windows, in creation order
    platform::WindowHandle nextHandle_ = 0x10020;
};

} // namespace fake
