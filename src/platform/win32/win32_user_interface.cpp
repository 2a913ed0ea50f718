#include <algorithm>

#include "base/texts.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

namespace {

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;
constexpr int kIconSize = 32;
constexpr int kIconTextGap = 12;
constexpr int kTextControlId = 0xFFFF;

int buttonId(DialogButton button) {
    switch (button) {
    case DialogButton::Yes:
        return IDYES;
    case DialogButton::No:
        return IDNO;
    case DialogButton::Ok:
        return IDOK;
    case DialogButton::Cancel:
        return IDCANCEL;
    case DialogButton::Abort:
        return IDABORT;
    }
    return IDOK;
}

std::string_view buttonCaption(DialogButton button) {
    switch (button) {
    case DialogButton::Yes:
        return text::kButtonYes;
    case DialogButton::No:
        return text::kButtonNo;
    case DialogButton::Ok:
        return text::kButtonOk;
    case DialogButton::Cancel:
        return text::kButtonCancel.text;
    case DialogButton::Abort:
        return text::kButtonAbort;
    }
    return text::kButtonOk;
}

struct DialogRequest {
    DialogKind kind;
    const std::string& text;
    const std::vector<DialogButton>& buttons;
};

// Escape and the close box end the dialog with Cancel when it has one, with
// No when it has that, and otherwise with its only button.
int escapeResult(const std::vector<DialogButton>& buttons) {
    for (DialogButton wanted : {DialogButton::Cancel, DialogButton::No}) {
        if (std::find(buttons.begin(), buttons.end(), wanted) != buttons.end())
            return buttonId(wanted);
    }
    return buttons.size() == 1 ? buttonId(buttons.front()) : 0;
}

void layOutDialog(HWND dialog, const DialogRequest& request) {
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    const HINSTANCE instance = GetModuleHandleA(nullptr);

    RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
    const HDC dc = GetDC(dialog);
    const HGDIOBJ oldFont = SelectObject(dc, font);
    DrawTextA(dc, request.text.c_str(), static_cast<int>(request.text.size()), &textRect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);

    const LPCSTR iconName = request.kind == DialogKind::Error         ? IDI_HAND
                            : request.kind == DialogKind::Information ? IDI_ASTERISK
                                                                      : IDI_QUESTION;
    const HWND icon =
        CreateWindowExA(0, "STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, kMargin, kMargin,
                        kIconSize, kIconSize, dialog, nullptr, instance, nullptr);
    SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconName)), 0);

    const int textLeft = kMargin + kIconSize + kIconTextGap;
    const int textWidth = textRect.right - textRect.left;
    const int textHeight = std::max<int>(textRect.bottom - textRect.top, kIconSize);
    const HWND label = CreateWindowExA(
        0, "STATIC", request.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textLeft,
        kMargin, textWidth, textHeight, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId)), instance, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    const int count = static_cast<int>(request.buttons.size());
    const int buttonsWidth = count * kButtonWidth + (count - 1) * kButtonGap;
    const int clientWidth = std::max(textLeft + textWidth, buttonsWidth) + kMargin;
    const int buttonTop = kMargin + textHeight + kMargin;
    const int clientHeight = buttonTop + kButtonHeight + kMargin;

    int left = (clientWidth - buttonsWidth) / 2;
    for (int i = 0; i < count; ++i) {
        const DialogButton button = request.buttons[static_cast<std::size_t>(i)];
        const DWORD style =
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        const HWND control = CreateWindowExA(
            0, "BUTTON", std::string(buttonCaption(button)).c_str(), style, left, buttonTop,
            kButtonWidth, kButtonHeight, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttonId(button))), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (i == 0)
            SetFocus(control);
        left += kButtonWidth + kButtonGap;
    }

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, 0);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* request = reinterpret_cast<const DialogRequest*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        layOutDialog(dialog, *request);
        return FALSE; // the focus was set on the first button
    }
    case WM_COMMAND: {
        const auto* request =
            reinterpret_cast<const DialogRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
        const int id = LOWORD(wParam);
        for (DialogButton button : request->buttons) {
            if (buttonId(button) == id) {
                EndDialog(dialog, id);
                return TRUE;
            }
        }
        if (id == IDCANCEL) {
            if (const int escape = escapeResult(request->buttons))
                EndDialog(dialog, escape);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void appendWide(std::vector<WORD>& words, std::string_view text) {
    for (unsigned char c : text)
        words.push_back(c);
    words.push_back(0);
}

// A dialog template with a caption and the dialog font and no controls: the
// controls are made and placed when the dialog starts.
std::vector<WORD> dialogTemplate(std::string_view title) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 1, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    header->cx = 100;
    header->cy = 40;
    words.resize(sizeof(DLGTEMPLATE) / sizeof(WORD));
    words.push_back(0); // no menu
    words.push_back(0); // the standard dialog class
    appendWide(words, title);
    words.push_back(8); // point size
    appendWide(words, "MS Shell Dlg");
    return words;
}

std::string_view dialogTitle(DialogKind kind) {
    switch (kind) {
    case DialogKind::Error:
        return text::kDialogTitleError;
    case DialogKind::Information:
        return text::kDialogTitleInformation;
    case DialogKind::Confirmation:
        return text::kDialogTitleConfirm;
    }
    return text::kDialogTitleError;
}

DialogButton buttonFromId(INT_PTR id, const std::vector<DialogButton>& buttons) {
    for (DialogButton button : buttons) {
        if (buttonId(button) == id)
            return button;
    }
    return buttons.empty() ? DialogButton::Ok : buttons.back();
}

} // namespace

DialogButton Win32UserInterface::messageDialog(DialogKind kind, const std::string& text,
                                               const std::vector<DialogButton>& buttons) {
    const std::vector<DialogButton> shown =
        buttons.empty() ? std::vector{DialogButton::Ok} : buttons;
    const DialogRequest request{kind, text, shown};
    const std::vector<WORD> layout = dialogTemplate(dialogTitle(kind));
    const INT_PTR pressed = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(layout.data()), mainWindow_,
        dialogProcedure, reinterpret_cast<LPARAM>(&request));
    return buttonFromId(pressed, shown);
}

void Win32UserInterface::messageBox(const std::string& text) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string title = path;
    title = title.substr(title.find_last_of("\\:") + 1);
    title = title.substr(0, title.find_last_of('.'));
    MessageBoxA(mainWindow_, text.c_str(), title.c_str(), MB_OK);
}

void Win32UserInterface::sleep(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

void Win32UserInterface::handleNextMessage() {
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
        quitRequested_ = true;
        return;
    }
    if (got < 0)
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void Win32UserInterface::bringApplicationToFront() {
    if (mainWindow_)
        SetForegroundWindow(GetLastActivePopup(mainWindow_));
}

void Win32UserInterface::processPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitRequested_ = true;
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace platform::win32
