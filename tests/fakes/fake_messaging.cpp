#include "fakes/fake_messaging.h"

namespace fake {

using platform::WindowHandle;

namespace {

// Window titles compare as FindWindowA compares them, without regard to case.
bool sameTitle(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

WindowHandle FakeMessaging::addWindow(const std::string& title, std::int32_t reply) {
    const WindowHandle handle = nextHandle_;
    nextHandle_ += 2;
    windows_[handle] = Window{title, reply, false};
    return handle;
}

WindowHandle FakeMessaging::addDialog(const std::string& title) {
    const WindowHandle handle = addWindow(title);
    windows_[handle].dialog = true;
    return handle;
}

void FakeMessaging::destroy(WindowHandle window) {
    windows_.erase(window);
}

bool FakeMessaging::isOpen(WindowHandle window) const {
    return windows_.count(window) != 0;
}

WindowHandle FakeMessaging::findWindowByTitle(const std::string& title) {
    searchedTitles.push_back(title);
    for (const auto& [handle, window] : windows_) {
        if (sameTitle(window.title, title))
            return handle;
    }
    return platform::kNoWindow;
}

void FakeMessaging::clickDialogButton(WindowHandle dialog, int controlId) {
    clicks.push_back({dialog, controlId});
    const auto it = windows_.find(dialog);
    if (it != windows_.end() && it->second.dialog && controlId == platform::kCancelButtonId)
        windows_.erase(it);
}

std::int32_t FakeMessaging::sendCopyData(WindowHandle target, WindowHandle sender,
                                         std::uint32_t dwData, const void* data,
                                         std::uint32_t size) {
    const auto it = windows_.find(target);
    if (it == windows_.end()) {
        ++sendsToNoWindow;
        return 0;
    }
    received.push_back({target, sender, dwData, std::string(static_cast<const char*>(data), size)});
    return it->second.reply;
}

void FakeMessaging::postMessage(WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                                std::int32_t lParam) {
    posted.push_back({target, message, wParam, lParam});
    if (target == platform::kNoWindow && onOwnQueuePost)
        onOwnQueuePost();
}

} // namespace fake
