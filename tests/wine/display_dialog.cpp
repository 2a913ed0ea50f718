// A stand-in for the Display Properties dialog of Windows: a dialog with the
// given title and OK (1) and Cancel (2) buttons.
//   display_dialog TITLE READY_EVENT
// Sets the named event once the dialog runs, and ends with the id of the
// button that closed it as exit code; 1000 when it was closed otherwise,
// 1001 when nothing closed it within 60 seconds.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kAnnounce = WM_APP + 1;
constexpr UINT_PTR kGiveUpTimer = 1;
constexpr INT_PTR kClosedOtherwise = 1000;
constexpr INT_PTR kNobodyClosed = 1001;

struct DialogSetup {
    HANDLE ready;
};

void addButton(HWND dialog, const char* caption, int id, int left) {
    CreateWindowExA(0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, left, 60, 75, 25,
                    dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                    GetModuleHandleA(nullptr), nullptr);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        addButton(dialog, "OK", IDOK, 20);
        addButton(dialog, "Cancel", IDCANCEL, 110);
        SetTimer(dialog, kGiveUpTimer, 60000, nullptr);
        PostMessageA(dialog, kAnnounce, 0, 0); // once the dialog's own loop runs
        return TRUE;
    case kAnnounce:
        SetEvent(reinterpret_cast<DialogSetup*>(GetWindowLongPtrA(dialog, DWLP_USER))->ready);
        return TRUE;
    case WM_TIMER:
        EndDialog(dialog, kNobodyClosed);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, kClosedOtherwise);
        return TRUE;
    default:
        return FALSE;
    }
}

std::vector<WORD> dialogTemplate(const std::string& title) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    header->cx = 140;
    header->cy = 60;
    words.push_back(0); // no menu
    words.push_back(0); // the standard dialog class
    for (unsigned char c : title)
        words.push_back(c);
    words.push_back(0);
    return words;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    DialogSetup setup{OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2])};
    if (!setup.ready)
        return 3;
    const std::vector<WORD> layout = dialogTemplate(argv[1]);
    const INT_PTR closedBy = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(layout.data()), nullptr,
        dialogProcedure, reinterpret_cast<LPARAM>(&setup));
    CloseHandle(setup.ready);
    return static_cast<int>(closedBy);
}
