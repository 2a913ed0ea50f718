#include "platform/win32/win32_panel_window.h"

#include "platform/win32/win32_messaging.h"

namespace platform::win32 {

namespace {

constexpr const char* kPanelClass = "VlxPanel";

RECT clientRect(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

} // namespace

Win32PanelWindow::Win32PanelWindow(HWND parent) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA panelClass{};
    if (!GetClassInfoA(instance, kPanelClass, &panelClass)) {
        panelClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        panelClass.lpfnWndProc = procedure;
        panelClass.hInstance = instance;
        panelClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        panelClass.lpszClassName = kPanelClass;
        RegisterClassA(&panelClass);
    }
    brush_ = CreateSolidBrush(RGB(255, 255, 255));
    window_ = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                              0, parent, nullptr, instance, nullptr);
    if (window_)
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32PanelWindow::~Win32PanelWindow() {
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (brush_)
        DeleteObject(brush_);
}

WindowHandle Win32PanelWindow::handle() {
    return handleValue(window_);
}

int Win32PanelWindow::width() {
    return clientRect(window_).right;
}

int Win32PanelWindow::height() {
    return clientRect(window_).bottom;
}

// Its own style, not IsWindowVisible: the installer window that holds it is
// still hidden while the preparation plays the movie.
bool Win32PanelWindow::visible() {
    return window_ && (GetWindowLongA(window_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32PanelWindow::setSize(int width, int height) {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

void Win32PanelWindow::setColor(std::uint32_t color) {
    const HBRUSH replaced = brush_;
    brush_ = CreateSolidBrush(static_cast<COLORREF>(color));
    if (replaced)
        DeleteObject(replaced);
    invalidate();
}

void Win32PanelWindow::fillParent() {
    const RECT parent = clientRect(GetParent(window_));
    SetWindowPos(window_, nullptr, 0, 0, parent.right, parent.bottom, SWP_NOZORDER);
}

void Win32PanelWindow::setOuterBevel(PanelBevel bevel) {
    outerBevel_ = bevel;
    invalidate();
}

void Win32PanelWindow::setBevelWidth(int width) {
    bevelWidth_ = width;
    invalidate();
}

void Win32PanelWindow::invalidate() {
    if (window_)
        InvalidateRect(window_, nullptr, TRUE);
}

void Win32PanelWindow::paint() {
    PAINTSTRUCT paintInfo;
    const HDC dc = BeginPaint(window_, &paintInfo);
    RECT rect = clientRect(window_);
    FillRect(dc, &rect, brush_);
    if (outerBevel_ != PanelBevel::None) {
        const UINT edge = outerBevel_ == PanelBevel::Lowered ? BDR_SUNKENOUTER : BDR_RAISEDOUTER;
        for (int i = 0; i < bevelWidth_; ++i) {
            DrawEdge(dc, &rect, edge, BF_RECT);
            InflateRect(&rect, -1, -1);
        }
    }
    EndPaint(window_, &paintInfo);
}

LRESULT CALLBACK Win32PanelWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* panel = reinterpret_cast<Win32PanelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (panel && message == WM_PAINT) {
        panel->paint();
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace platform::win32
