#include "app/win32/win32_installer_view.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/win32/picture_file.h"
#include "platform/win32/win32_messaging.h"
#include "platform/win32/win32_panel_window.h"

namespace installer_win32 {

namespace {

using layout::Control;

constexpr const char* kApplicationClass = "VlxApplication";
constexpr const char* kFormClass = "VlxInstallerForm";
constexpr const char* kPreparingClass = "VlxPreparingWindow";
constexpr const char* kPanelClass = "VlxFormPanel";
constexpr const char* kPictureClass = "VlxPicture";

// Border and caption with the system-menu button only; the sizeable border
// adds the thick frame.
constexpr DWORD kFixedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kSizeableStyle = kFixedStyle | WS_THICKFRAME;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
constexpr DWORD kChildStyle = WS_CHILD | WS_CLIPSIBLINGS;
// The application's window: visible, so that it has the taskbar button, but
// of no size, so that it is never seen.
constexpr DWORD kApplicationStyle = WS_POPUP | WS_SYSMENU;
// Activates the window the user sees, once the application's window has
// been activated from the taskbar.
constexpr UINT kActivateShownWindow = WM_APP + 1;

// Not IDOK or IDCANCEL: Enter and Escape, which the dialog keys turn into
// those, do nothing here.
constexpr WORD kInstallBtnId = 101;
constexpr WORD kCancelBtnId = 102;
constexpr WORD kDoneBtnId = 103;
constexpr UINT_PTR kPauseTimerId = 1;

// The rich-text libraries of the system folder, newest first, with their
// ANSI-created classes.
struct RichEditLibrary {
    const char* name;
    const char* windowClass;
};
constexpr RichEditLibrary kRichEditLibraries[] = {
    {"msftedit", "RICHEDIT50W"},
    {"riched20", "RichEdit20A"},
    {"riched32", "RICHEDIT"},
};

constexpr int index(Control control) {
    return static_cast<int>(control);
}

layout::NonClientSize frameOf(DWORD style, DWORD exStyle) {
    RECT rect{0, 0, 0, 0};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

layout::Bounds boundsInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

layout::Size outerSizeOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::string windowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool styleVisible(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Sets a window's text, position and size, enabled and visible state where
// they differ from the data; true when something changed.
bool applyState(HWND window, const layout::ControlState& state, bool hasCaption) {
    bool changed = false;
    const layout::Bounds& wanted = state.bounds;
    if (boundsInParent(window) != wanted) {
        SetWindowPos(window, nullptr, wanted.left, wanted.top, wanted.width, wanted.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        changed = true;
    }
    if (hasCaption && windowText(window) != state.caption) {
        SetWindowTextA(window, state.caption.c_str());
        changed = true;
    }
    if ((IsWindowEnabled(window) != FALSE) != state.enabled) {
        EnableWindow(window, state.enabled ? TRUE : FALSE);
        changed = true;
    }
    if (styleVisible(window) != state.visible) {
        ShowWindow(window, state.visible ? SW_SHOWNA : SW_HIDE);
        changed = true;
    }
    return changed;
}

// The view a window reports to: handed over at creation, kept in the
// window's user data.
Win32InstallerView* viewOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    return reinterpret_cast<Win32InstallerView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Right-clicks reach no window of this thread: whatever loop takes the
// message from the queue, it gets a null message instead.
LRESULT CALLBACK swallowRightClicks(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        auto* message = reinterpret_cast<MSG*>(lParam);
        if (message->message == WM_RBUTTONDOWN)
            message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT buttonFaceBackground(WPARAM deviceContext) {
    const HDC dc = reinterpret_cast<HDC>(deviceContext);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// The licence text handed to the rich-text box piece by piece.
struct StreamSource {
    const std::vector<unsigned char>& bytes;
    std::size_t offset = 0;
};

DWORD CALLBACK readLicenceChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const std::size_t left = source->bytes.size() - source->offset;
    const std::size_t count = std::min(left, static_cast<std::size_t>(std::max<LONG>(wanted, 0)));
    std::copy_n(source->bytes.data() + source->offset, count, buffer);
    source->offset += count;
    *given = static_cast<LONG>(count);
    return 0;
}

// Streams the bytes in as `format`; false when the box refused them.
bool streamInto(HWND box, const std::vector<unsigned char>& bytes, WPARAM format) {
    StreamSource source{bytes};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = readLicenceChunk;
    const LRESULT characters =
        SendMessageA(box, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0 && (characters > 0 || bytes.empty());
}

} // namespace

Win32InstallerView::Win32InstallerView(HINSTANCE instance, platform::LibraryLoader& libraries)
    : instance_(instance), libraries_(libraries), frames_{frameOf(kFixedStyle, kFormExStyle),
                                                          frameOf(kSizeableStyle, kFormExStyle)},
      preparingFrame_(frameOf(kFixedStyle, 0)) {
    font_.reset(CreateFontA(layout::kInstallerFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE,
                            std::string(layout::kInstallerFontName).c_str()));
    rightClickHook_.reset(
        SetWindowsHookExA(WH_GETMESSAGE, swallowRightClicks, nullptr, GetCurrentThreadId()));
    if (!loadCommonControls() || !registerClasses() || !createApplicationWindow() ||
        !createPreparingWindow() || !createInstallerWindow())
        creationError_ = GetLastError() != 0 ? GetLastError() : ERROR_INVALID_WINDOW_HANDLE;
}

// comctl32.dll from the system folder, by its full path: outside the KnownDLLs,
// so named in the import table it would be looked for in the program's folder
// first. The manifest asks for no version 6 of the common controls, so no
// activation context redirects the load: the system folder's library is the
// one whose classes the windows use.
bool Win32InstallerView::loadCommonControls() {
    using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using InitCommonControlsFunction = void(WINAPI*)();
    platform::WinError error = platform::kErrorNone;
    commonControlsLibrary_ = libraries_.loadSystemLibrary("comctl32", error);
    if (!commonControlsLibrary_) {
        SetLastError(error);
        return false;
    }
    // The progress bar is the only common control the windows use; Windows 95
    // without Internet Explorer 3 has only InitCommonControls.
    if (const auto initialiseEx = reinterpret_cast<InitCommonControlsExFunction>(
            commonControlsLibrary_->find("InitCommonControlsEx"))) {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        if (initialiseEx(&classes))
            return true;
    }
    const auto initialise = reinterpret_cast<InitCommonControlsFunction>(
        commonControlsLibrary_->find("InitCommonControls"));
    if (!initialise) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    initialise();
    return true;
}

Win32InstallerView::~Win32InstallerView() {
    // The windows go while the view they report to still exists.
    form_.reset();
    preparing_.reset();
    application_.reset();
}

bool Win32InstallerView::registerClasses() {
    struct ClassEntry {
        const char* name;
        WNDPROC procedure;
        int background;
    };
    const ClassEntry classes[] = {
        {kApplicationClass, applicationProcedure, COLOR_BTNFACE},
        {kFormClass, formProcedure, COLOR_BTNFACE},
        {kPreparingClass, preparingProcedure, COLOR_BTNFACE},
        {kPanelClass, panelProcedure, COLOR_BTNFACE},
        {kPictureClass, pictureProcedure, -1},
    };
    for (const ClassEntry& entry : classes) {
        WNDCLASSA windowClass{};
        if (GetClassInfoA(instance_, entry.name, &windowClass))
            continue;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = entry.procedure;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
        windowClass.hbrBackground =
            entry.background < 0
                ? nullptr
                : reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(entry.background + 1));
        windowClass.lpszClassName = entry.name;
        if (!RegisterClassA(&windowClass))
            return false;
    }
    return true;
}

bool Win32InstallerView::createApplicationWindow() {
    application_.reset(CreateWindowExA(0, kApplicationClass, "", kApplicationStyle, 0, 0, 0, 0,
                                       nullptr, nullptr, instance_, this));
    if (!application_)
        return false;
    ShowWindow(application_.get(), SW_SHOWNA);
    return true;
}

bool Win32InstallerView::createPreparingWindow() {
    const layout::Position at = layout::kPreparingStartPosition;
    const layout::Size client = layout::kPreparingClientSize;
    preparing_.reset(CreateWindowExA(
        0, kPreparingClass, "", kFixedStyle, at.left, at.top, client.width + preparingFrame_.width,
        client.height + preparingFrame_.height, application_.get(), nullptr, instance_, this));
    if (!preparing_)
        return false;
    label1_ = CreateWindowExA(
        0, "STATIC", "", kChildStyle | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 0, 0, client.width,
        client.height, preparing_.get(), nullptr, instance_, nullptr);
    if (!label1_)
        return false;
    SendMessageA(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return true;
}

HWND Win32InstallerView::createChild(Control control, HWND parent) {
    const char* windowClass = "STATIC";
    DWORD style = kChildStyle;
    DWORD exStyle = 0;
    WORD id = 0;
    switch (control) {
    case Control::contentPanel:
    case Control::buttonPanel:
        windowClass = kPanelClass;
        style |= WS_CLIPCHILDREN;
        exStyle = WS_EX_CONTROLPARENT;
        break;
    case Control::bmpPanel:
        windowClass = kPictureClass;
        break;
    case Control::moviePanel1:
        return nullptr; // made on request, by createMoviePanel
    case Control::licenseScrollBox:
        for (const RichEditLibrary& library : kRichEditLibraries) {
            platform::WinError error = platform::kErrorNone;
            richEditLibrary_ = libraries_.loadSystemLibrary(library.name, error);
            if (richEditLibrary_) {
                windowClass = library.windowClass;
                break;
            }
        }
        if (!richEditLibrary_)
            return nullptr;
        style |= WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case Control::labFile:
    case Control::labCopying:
    case Control::installbutn:
        style |= SS_LEFT;
        break;
    case Control::progressBar:
        windowClass = PROGRESS_CLASSA;
        break;
    case Control::installBtn:
    case Control::doneBtn:
    case Control::cancelBtn:
        windowClass = "BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        id = control == Control::installBtn ? kInstallBtnId
             : control == Control::doneBtn  ? kDoneBtnId
                                            : kCancelBtnId;
        break;
    }
    const bool ownClass = control == Control::contentPanel || control == Control::buttonPanel ||
                          control == Control::bmpPanel;
    const HWND window = CreateWindowExA(exStyle, windowClass, "", style, 0, 0, 0, 0, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                        instance_, ownClass ? this : nullptr);
    if (window)
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return window;
}

bool Win32InstallerView::createInstallerWindow() {
    const layout::Position at = layout::kInstallerFormPosition;
    const layout::Size outer = layout::kInstallerFormSize;
    form_.reset(CreateWindowExA(kFormExStyle, kFormClass, "", kFixedStyle, at.left, at.top,
                                outer.width, outer.height, application_.get(), nullptr, instance_,
                                this));
    if (!form_)
        return false;
    SendMessageA(form_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    for (int i = 0; i < layout::kControlCount; ++i) {
        const auto control = static_cast<Control>(i);
        if (control == Control::moviePanel1)
            continue;
        const std::optional<Control> parent = layout::parentOf(control);
        const HWND parentWindow = parent ? controls_[index(*parent)] : form_.get();
        controls_[i] = createChild(control, parentWindow);
        // Without a rich-text library the licence simply cannot be shown.
        if (!controls_[i] && control != Control::licenseScrollBox)
            return false;
    }
    return true;
}

HWND Win32InstallerView::controlWindow(Control control) const {
    return control == Control::moviePanel1 ? movieWindow() : controls_[index(control)];
}

// The movie's panel belongs to the movie's panel object; its window may be
// gone already.
HWND Win32InstallerView::movieWindow() const {
    if (moviePanel_ && IsWindow(moviePanel_) &&
        GetParent(moviePanel_) == controls_[index(Control::contentPanel)])
        return moviePanel_;
    return nullptr;
}

void Win32InstallerView::setEvents(InstallerWindowEvents& events) {
    events_ = &events;
}

layout::FrameSizes Win32InstallerView::installerFrames() {
    return frames_;
}

layout::NonClientSize Win32InstallerView::preparingFrame() {
    return preparingFrame_;
}

layout::Size Win32InstallerView::screenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32InstallerView::renderPreparingWindow(const layout::PreparingWindowLayout& window) {
    if (!preparing_)
        return;
    const std::optional<layout::PreparingWindowLayout> previous =
        std::exchange(renderedPreparing_, window);
    const HWND handle = preparing_.get();
    if (windowText(handle) != window.title)
        SetWindowTextA(handle, window.title.c_str());
    const layout::Size outer = layout::outerSize(window);
    if (!previous || previous->position != window.position || outerSizeOf(handle) != outer)
        SetWindowPos(handle, nullptr, window.position.left, window.position.top, outer.width,
                     outer.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (applyState(label1_, window.Label1, true))
        UpdateWindow(label1_);
    if (styleVisible(handle) != window.visible) {
        ShowWindow(handle, window.visible ? (previous ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
        UpdateWindow(handle);
    }
}

void Win32InstallerView::applyFormFrame(
    const layout::InstallerFormLayout& form,
    const std::optional<layout::InstallerFormLayout>& previous) {
    const HWND handle = form_.get();
    const DWORD style = static_cast<DWORD>(GetWindowLongA(handle, GWL_STYLE));
    const DWORD wantedFrame = form.border == layout::BorderStyle::sizeable ? WS_THICKFRAME : 0;
    if ((style & WS_THICKFRAME) != wantedFrame) {
        SetWindowLongA(handle, GWL_STYLE,
                       static_cast<LONG>((style & ~WS_THICKFRAME) | wantedFrame));
        SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const bool onTop = (GetWindowLongA(handle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (onTop != form.stayOnTop)
        SetWindowPos(handle, form.stayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (windowText(handle) != form.caption)
        SetWindowTextA(handle, form.caption.c_str());
    // While the user drags an edge the drag itself sets the size. A move by
    // the user is kept until the data moves the window.
    if (sizing_)
        return;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (previous && previous->position == form.position)
        flags |= SWP_NOMOVE;
    if (outerSizeOf(handle) == form.outer)
        flags |= SWP_NOSIZE;
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE))
        SetWindowPos(handle, nullptr, form.position.left, form.position.top, form.outer.width,
                     form.outer.height, flags);
}

void Win32InstallerView::applyControl(Control control, const layout::ControlState& state) {
    const HWND window = controlWindow(control);
    if (!window)
        return;
    const bool hasCaption = control == Control::labFile || control == Control::labCopying ||
                            control == Control::installbutn || control == Control::installBtn ||
                            control == Control::doneBtn || control == Control::cancelBtn;
    if (applyState(window, state, hasCaption))
        UpdateWindow(window);
}

// The bar is only changed from here, so what it shows is what was applied
// last; the 16-bit range message works with every version of the control.
void Win32InstallerView::applyProgress(const layout::ProgressState& progress) {
    const HWND bar = controls_[index(Control::progressBar)];
    const std::optional<layout::ProgressState> previous = std::exchange(progress_, progress);
    if (previous && *previous == progress)
        return;
    if (!previous || previous->minimum != progress.minimum || previous->maximum != progress.maximum)
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(progress.minimum, progress.maximum));
    if (!previous || previous->step != progress.step)
        SendMessageA(bar, PBM_SETSTEP, static_cast<WPARAM>(progress.step), 0);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(progress.position), 0);
    UpdateWindow(bar);
}

void Win32InstallerView::renderInstallerWindow(const layout::InstallerFormLayout& form) {
    if (!form_)
        return;
    const std::optional<layout::InstallerFormLayout> previous = std::exchange(rendered_, form);
    const bool wasApplying = std::exchange(applying_, true);
    applyFormFrame(form, previous);
    for (int i = 0; i < layout::kControlCount; ++i) {
        const auto control = static_cast<Control>(i);
        applyControl(control, layout::control(form, control));
    }
    raisePreview();
    applyProgress(form.progress);
    if (form.focus && (!previous || previous->focus != form.focus)) {
        if (const HWND focused = controlWindow(*form.focus))
            SetFocus(focused);
    }
    applying_ = wasApplying;
}

void Win32InstallerView::showInstallerWindow() {
    if (!form_ || styleVisible(form_.get()))
        return;
    const bool wasApplying = std::exchange(applying_, true);
    ShowWindow(form_.get(), SW_SHOW);
    UpdateWindow(form_.get());
    applying_ = wasApplying;
    if (events_)
        events_->FormShow();
}

void Win32InstallerView::setApplicationTitle(const std::string& title) {
    if (application_ && windowText(application_.get()) != title)
        SetWindowTextA(application_.get(), title.c_str());
}

platform::WindowHandle Win32InstallerView::installerWindow() {
    return platform::win32::handleValue(form_.get());
}

bool Win32InstallerView::loadPicture(const std::string& path, std::string& error) {
    UniqueBitmap bitmap = loadPictureFile(path, error);
    if (!bitmap)
        return false;
    picture_ = std::move(bitmap);
    raisePreview();
    if (const HWND picture = controls_[index(Control::bmpPanel)]) {
        InvalidateRect(picture, nullptr, FALSE);
        UpdateWindow(picture);
    }
    return true;
}

bool Win32InstallerView::loadLicence(const std::string& path) {
    const HWND box = controls_[index(Control::licenseScrollBox)];
    std::vector<unsigned char> bytes;
    if (!box || !readWholeFile(path, bytes))
        return false;
    // The box takes texts of any length; the rich-text reader keeps the
    // formatting of the file, so the font was given before.
    SendMessageA(box, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    if (!streamInto(box, bytes, SF_RTF) && !streamInto(box, bytes, SF_TEXT))
        return false;
    SendMessageA(box, EM_SETSEL, 0, 0);
    SendMessageA(box, WM_VSCROLL, SB_TOP, 0);
    return true;
}

// A loaded picture lies over the movie's panel; otherwise the movie's panel
// lies over the empty picture control, so that the movie gets the mouse.
void Win32InstallerView::raisePreview() {
    const HWND picture = controls_[index(Control::bmpPanel)];
    const HWND movie = movieWindow();
    const HWND top = picture_ && rendered_ && rendered_->bmpPanel.visible ? picture : movie;
    if (top && GetWindow(top, GW_HWNDFIRST) != top)
        SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

std::unique_ptr<platform::PanelWindow> Win32InstallerView::createMoviePanel() {
    auto panel = std::make_unique<platform::win32::Win32PanelWindow>(
        controls_[index(Control::contentPanel)]);
    moviePanel_ = panel->window();
    if (rendered_)
        applyControl(Control::moviePanel1, rendered_->moviePanel1);
    raisePreview();
    return panel;
}

bool Win32InstallerView::enablePauseTimer(std::uint32_t intervalMilliseconds) {
    if (form_ && SetTimer(form_.get(), kPauseTimerId, intervalMilliseconds, nullptr))
        pauseTimerEnabled_ = true;
    return pauseTimerEnabled_;
}

bool Win32InstallerView::pauseTimerEnabled() const {
    return pauseTimerEnabled_;
}

void Win32InstallerView::showHourglass(bool shown) {
    hourglass_ = shown;
    SetCursor(LoadCursor(nullptr, shown ? IDC_WAIT : IDC_ARROW));
}

bool Win32InstallerView::applicationActive() {
    const HWND foreground = GetForegroundWindow();
    return foreground && GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId();
}

void Win32InstallerView::terminate(std::int32_t exitCode) {
    terminated_ = true;
    if (form_)
        ShowWindow(form_.get(), SW_HIDE);
    if (preparing_)
        ShowWindow(preparing_.get(), SW_HIDE);
    if (application_)
        ShowWindow(application_.get(), SW_HIDE);
    PostQuitMessage(exitCode);
}

bool Win32InstallerView::handleDialogKeys(MSG& message) {
    const HWND form = form_.get();
    if (!form || !styleVisible(form) || (message.hwnd != form && !IsChild(form, message.hwnd)))
        return false;
    return IsDialogMessageA(form, &message) != FALSE;
}

bool Win32InstallerView::setCursorIfBusy() {
    if (!hourglass_)
        return false;
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    return true;
}

void Win32InstallerView::onCommand(WORD id, WORD notification) {
    if (!events_ || notification != BN_CLICKED)
        return;
    switch (id) {
    case kInstallBtnId:
        events_->installBtnClick();
        break;
    case kCancelBtnId:
        events_->cancelBtnClick();
        break;
    case kDoneBtnId:
        events_->doneBtnClick();
        break;
    default:
        break;
    }
}

// The user drags an edge: the driver decides the size, and the drag gets the
// size the data then holds, kept at the edge opposite the dragged one.
bool Win32InstallerView::onSizing(WPARAM edge, RECT& proposed) {
    if (!rendered_ || !events_)
        return false;
    const layout::Size requested{proposed.right - proposed.left, proposed.bottom - proposed.top};
    if (requested != rendered_->outer) {
        const bool wasSizing = std::exchange(sizing_, true);
        events_->userResize(requested);
        sizing_ = wasSizing;
    }
    const layout::Size allowed = rendered_->outer;
    if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
        proposed.left = proposed.right - allowed.width;
    else
        proposed.right = proposed.left + allowed.width;
    if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
        proposed.top = proposed.bottom - allowed.height;
    else
        proposed.bottom = proposed.top + allowed.height;
    return true;
}

// A size that neither the view nor a drag made (the system, another
// program): reported like a drag, and taken back when the data keeps its own.
void Win32InstallerView::onWindowPosChanged(const WINDOWPOS& position) {
    if (applying_ || sizing_ || reporting_ || !rendered_ || !events_ ||
        (position.flags & SWP_NOSIZE))
        return;
    const layout::Size actual{position.cx, position.cy};
    if (actual == rendered_->outer)
        return;
    reporting_ = true;
    events_->userResize(actual);
    if (outerSizeOf(form_.get()) != rendered_->outer) {
        const bool wasApplying = std::exchange(applying_, true);
        SetWindowPos(form_.get(), nullptr, 0, 0, rendered_->outer.width, rendered_->outer.height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        applying_ = wasApplying;
    }
    reporting_ = false;
}

void Win32InstallerView::paintPicture(HWND window) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    BITMAP info{};
    if (picture_ && GetObjectA(picture_.get(), sizeof info, &info)) {
        const MemoryDc source(dc, picture_.get());
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, client.right, client.bottom, source.get(), 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
    } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    }
    EndPaint(window, &paint);
}

// The application's window stands for the application in the taskbar: what
// reaches it from there goes to the window on the screen.
LRESULT Win32InstallerView::applicationMessage(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            PostMessageA(window, kActivateShownWindow, 0, 0);
        break;
    case kActivateShownWindow: {
        const HWND shown = form_ && styleVisible(form_.get()) ? form_.get() : preparing_.get();
        if (GetActiveWindow() == window && shown && styleVisible(shown))
            SetActiveWindow(shown);
        return 0;
    }
    case WM_CLOSE:
        // Closing from the taskbar is closing the installer window, once it
        // is on the screen; the start-up window cannot be closed.
        if (form_ && styleVisible(form_.get()))
            PostMessageA(form_.get(), WM_CLOSE, 0, 0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32InstallerView::formMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CLOSE:
        // A close request: the driver may refuse it; when it allows it the
        // window closes, and the driver ends the application.
        if (events_ && events_->FormCloseQuery()) {
            events_->FormClose();
            ShowWindow(window, SW_HIDE);
        }
        return 0;
    case WM_TIMER:
        if (wParam == kPauseTimerId) {
            KillTimer(window, kPauseTimerId);
            pauseTimerEnabled_ = false;
            if (events_)
                events_->pauseTimerTimer();
            return 0;
        }
        break;
    case WM_GETMINMAXINFO:
        if (rendered_) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            const layout::SizeLimits& wanted = rendered_->limits;
            if (wanted.minWidth > 0)
                limits->ptMinTrackSize.x = wanted.minWidth;
            if (wanted.minHeight > 0)
                limits->ptMinTrackSize.y = wanted.minHeight;
            if (wanted.maxWidth > 0)
                limits->ptMaxTrackSize.x = wanted.maxWidth;
            if (wanted.maxHeight > 0)
                limits->ptMaxTrackSize.y = wanted.maxHeight;
            return 0;
        }
        break;
    case WM_SIZING:
        if (onSizing(wParam, *reinterpret_cast<RECT*>(lParam)))
            return TRUE;
        break;
    case WM_WINDOWPOSCHANGED: {
        const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
        onWindowPosChanged(*reinterpret_cast<const WINDOWPOS*>(lParam));
        return result;
    }
    case WM_SETCURSOR:
        if (setCursorIfBusy())
            return TRUE;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32InstallerView::preparingMessage(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:
        return buttonFaceBackground(wParam);
    case WM_CLOSE:
        // The start-up window only shows how far the installer is; the run
        // ends through the installer window.
        return 0;
    case WM_SETCURSOR:
        if (setCursorIfBusy())
            return TRUE;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32InstallerView::panelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return buttonFaceBackground(wParam);
    case WM_PAINT:
        if (window == controls_[index(Control::contentPanel)]) {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window, &paint);
            RECT client{};
            GetClientRect(window, &client);
            DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
            EndPaint(window, &paint);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Win32InstallerView::pictureMessage(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintPicture(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerView::applicationProcedure(HWND window, UINT message, WPARAM wParam,
                                                          LPARAM lParam) {
    if (auto* view = viewOf(window, message, lParam))
        return view->applicationMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerView::formProcedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    if (auto* view = viewOf(window, message, lParam))
        return view->formMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerView::preparingProcedure(HWND window, UINT message, WPARAM wParam,
                                                        LPARAM lParam) {
    if (auto* view = viewOf(window, message, lParam))
        return view->preparingMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerView::panelProcedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    if (auto* view = viewOf(window, message, lParam))
        return view->panelMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerView::pictureProcedure(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam) {
    if (auto* view = viewOf(window, message, lParam))
        return view->pictureMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace installer_win32
