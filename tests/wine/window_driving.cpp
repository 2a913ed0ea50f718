#include "window_driving.h"

#include <cstdlib>

#include "wine_test_support.h"

namespace winetest {

namespace {

void handleOwnMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

struct WindowSearch {
    std::string className;
    const char* title;
    HWND found = nullptr;
};

BOOL CALLBACK matchTopWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (!IsWindowVisible(window) || classOf(window) != search->className)
        return TRUE;
    if (search->title && textOf(window) != search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

// Visible or not.
BOOL CALLBACK matchAnyTopWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (classOf(window) != search->className)
        return TRUE;
    search->found = window;
    return FALSE;
}

struct TaskbarSearch {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK matchTaskbarWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TaskbarSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window))
        return TRUE;
    const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    if ((exStyle & WS_EX_APPWINDOW) ||
        (!GetWindow(window, GW_OWNER) && !(exStyle & WS_EX_TOOLWINDOW)))
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

void sendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds) {
    const DWORD start = GetTickCount();
    const DWORD limit = scaledWait(timeoutMilliseconds);
    while (!condition()) {
        if (GetTickCount() - start > limit)
            return false;
        handleOwnMessages();
        Sleep(50);
    }
    return true;
}

HWND visibleWindow(const std::string& className, const char* title) {
    WindowSearch search{className, title};
    EnumWindows(matchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const std::string& className, const char* title, DWORD timeoutMilliseconds) {
    HWND found = nullptr;
    waitUntil([&] { return (found = visibleWindow(className, title)) != nullptr; },
              timeoutMilliseconds);
    return found;
}

std::vector<HWND> taskbarWindowsOf(HWND window) {
    TaskbarSearch search{0, {}};
    GetWindowThreadProcessId(window, &search.process);
    EnumWindows(matchTaskbarWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string textOf(HWND window) {
    // Asked with a timeout: a busy program does not stop the test.
    char text[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    return std::string(text, copied);
}

std::string classOf(HWND window) {
    char name[256] = {};
    return std::string(name, static_cast<std::size_t>(GetClassNameA(window, name, sizeof name)));
}

std::vector<HWND> descendants(HWND window) {
    std::vector<HWND> windows;
    EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND childWithText(HWND parent, const std::string& text) {
    for (const HWND child : descendants(parent)) {
        if (textOf(child) == text)
            return child;
    }
    return nullptr;
}

HWND childOfClass(HWND parent, const std::string& classPrefix) {
    for (const HWND child : descendants(parent)) {
        if (classOf(child).rfind(classPrefix, 0) == 0)
            return child;
    }
    return nullptr;
}

std::string dialogText(HWND dialog) {
    std::string text;
    for (const HWND child : descendants(dialog)) {
        if (classOf(child) != "Static")
            continue;
        const std::string line = textOf(child);
        if (line.empty())
            continue;
        if (!text.empty())
            text += "\n";
        text += line;
    }
    return text;
}

RECT boundsIn(HWND window, HWND reference) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE clientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

bool visible(HWND window) {
    return window && (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool enabled(HWND window) {
    return window && IsWindowEnabled(window) != FALSE;
}

void clickAt(POINT screen, bool rightButton) {
    SetCursorPos(screen.x, screen.y);
    Sleep(50);
    sendMouse(rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Sleep(50);
    sendMouse(rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    Sleep(50);
}

void click(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    clickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

void drag(POINT from, int dx, int dy) {
    SetCursorPos(from.x, from.y);
    Sleep(100);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    Sleep(200);
    constexpr int kSteps = 10;
    for (int step = 1; step <= kSteps; ++step) {
        SetCursorPos(from.x + dx * step / kSteps, from.y + dy * step / kSteps);
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &input, sizeof input);
        Sleep(50);
    }
    Sleep(200);
    sendMouse(MOUSEEVENTF_LEFTUP);
    Sleep(200);
}

std::string screenReport() {
    std::vector<HWND> windows;
    EnumWindows(collectChild, reinterpret_cast<LPARAM>(&windows));
    std::string report;
    for (const HWND window : windows) {
        if (!IsWindowVisible(window))
            continue;
        const std::string windowClass = classOf(window);
        report.append("[").append(windowClass).append("] \"").append(textOf(window)).append("\"");
        if (windowClass == "#32770")
            report.append(": ").append(dialogText(window));
        report.append("\n");
    }
    return report;
}

bool waitForProcessOf(HWND window, DWORD timeoutMilliseconds) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return true; // gone already
    const bool ended =
        WaitForSingleObject(process, scaledWait(timeoutMilliseconds)) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

void endProcessesWithWindow(const std::string& className) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        WindowSearch search{className, nullptr};
        EnumWindows(matchAnyTopWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            return;
        DWORD id = 0;
        GetWindowThreadProcessId(search.found, &id);
        if (const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

HWND installerContentPanel(HWND form) {
    return FindWindowExA(form, nullptr, kInstallerPanelClass, nullptr);
}

HWND installerButtonPanel(HWND form) {
    return FindWindowExA(form, installerContentPanel(form), kInstallerPanelClass, nullptr);
}

HWND installerInstallButton(HWND form) {
    const HWND button = childWithText(form, "Install");
    return button ? button : childWithText(form, "Accept and Install");
}

HWND installerStatusLine(HWND form) {
    const HWND panel = installerButtonPanel(form);
    const HWND first = panel ? FindWindowExA(panel, nullptr, "Static", nullptr) : nullptr;
    return first ? FindWindowExA(panel, first, "Static", nullptr) : nullptr;
}

ScreenPicture::ScreenPicture(HWND window, const std::string& file) {
    GetWindowRect(window, &rect_);
    width_ = rect_.right - rect_.left;
    height_ = rect_.bottom - rect_.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, rect_.left, rect_.top, SRCCOPY);
    GdiFlush();
    pixels_.assign(static_cast<const std::uint32_t*>(bits),
                   static_cast<const std::uint32_t*>(bits) + width_ * height_);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    save(file);
}

COLORREF ScreenPicture::at(int x, int y) const {
    const std::uint32_t pixel = pixels_.at(static_cast<std::size_t>(y * width_ + x));
    return RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
}

void ScreenPicture::save(const std::string& file) const {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width_;
    header.biHeight = -height_;
    header.biPlanes = 1;
    header.biBitCount = 32;
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels_.size() * 4);
    std::string bytes(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    // The fourth byte set, so that viewers that read it as opacity show the
    // picture.
    for (const std::uint32_t pixel : pixels_) {
        const std::uint32_t opaque = pixel | 0xFF000000u;
        bytes.append(reinterpret_cast<const char*>(&opaque), 4);
    }
    writeFile(file, bytes);
}

bool closeColours(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

} // namespace winetest
