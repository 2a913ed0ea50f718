// Drives the installer window from a script, one step per run:
//   window_driver ready SECONDS          waits until Install can be clicked;
//                                       prints the caption and client size
//   window_driver rect                   prints the window's "WIDTHxHEIGHT+LEFT+TOP"
//   window_driver click CAPTION          clicks the window's button with that caption
//   window_driver dialog TITLE SECONDS   waits for a message dialog; prints its text
//   window_driver answer TITLE CAPTION   clicks a button of the message dialog
//   window_driver status                 prints the status line
//   window_driver end SECONDS            waits until the installer has ended
// Exit code 0 when the step was done, 1 when it was not, 2 for bad arguments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "window_driving.h"

namespace {

using namespace winetest;

constexpr const char* kFormClass = kInstallerFormClass;

DWORD milliseconds(const char* seconds) {
    return static_cast<DWORD>(std::strtoul(seconds, nullptr, 10) * 1000);
}

int fail(const std::string& what) {
    std::printf("%s\n%s", what.c_str(), screenReport().c_str());
    return 1;
}

int run(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string step = argv[1];
    const HWND form = visibleWindow(kFormClass);
    if (step == "ready" && argc == 3) {
        HWND ready = nullptr;
        if (!waitUntil(
                [&] {
                    ready = visibleWindow(kFormClass);
                    return ready && enabled(installerInstallButton(ready));
                },
                milliseconds(argv[2])))
            return fail("the installer window did not get ready");
        Sleep(500); // the last paint
        const SIZE client = clientSize(ready);
        std::printf("\"%s\", client area %ld x %ld\n", textOf(ready).c_str(), client.cx, client.cy);
        return 0;
    }
    if (step == "rect" && form) {
        RECT rect{};
        GetWindowRect(form, &rect);
        std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                    rect.top);
        return 0;
    }
    if (step == "click" && argc == 3 && form) {
        const HWND button = childWithText(form, argv[2]);
        if (!button || !enabled(button))
            return fail(std::string("no button \"") + argv[2] + "\" to click");
        click(button);
        return 0;
    }
    if (step == "dialog" && argc == 4) {
        const HWND dialog = waitForWindow("#32770", argv[2], milliseconds(argv[3]));
        if (!dialog)
            return fail(std::string("no dialog \"") + argv[2] + "\"");
        std::printf("%s\n", dialogText(dialog).c_str());
        return 0;
    }
    if (step == "answer" && argc == 4) {
        const HWND dialog = visibleWindow("#32770", argv[2]);
        const HWND button = dialog ? childWithText(dialog, argv[3]) : nullptr;
        if (!button)
            return fail(std::string("no button \"") + argv[3] + "\" in a dialog \"" + argv[2] +
                        "\"");
        click(button);
        return 0;
    }
    if (step == "status" && form) {
        const HWND status = installerStatusLine(form);
        std::printf("%s\n", status ? textOf(status).c_str() : "");
        return 0;
    }
    if (step == "end" && argc == 3) {
        if (!waitUntil([] { return visibleWindow(kFormClass) == nullptr; }, milliseconds(argv[2])))
            return fail("the installer window is still open");
        return 0;
    }
    if (!form && (step == "rect" || step == "click" || step == "status"))
        return fail("no installer window");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const int code = run(argc, argv);
    std::fflush(stdout);
    return code;
}
