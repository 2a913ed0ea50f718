// The installer's program entry: the real platform, the two windows, the
// installer window's creation (which runs the whole preparation) and the
// message loop until the application ends.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/installer_form.h"
#include "app/win32/win32_installer_view.h"
#include "platform/win32/win32_platform.h"

namespace {

// The arguments after the program name, split by the C runtime's rules.
std::vector<std::string> commandLineArguments() {
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i)
        arguments.emplace_back(__argv[i]);
    return arguments;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything else: the program runs as administrator from wherever
    // it was saved, so no library may come from its own folder.
    platform::win32::restrictLibrarySearch();
    platform::win32::Win32Platform backends;
    const auto lateSystemLibraries = platform::win32::loadLateSystemLibraries(backends.libraries);

    installer_win32::Win32InstallerView view(instance, backends.libraries);
    if (view.creationError() != 0)
        return static_cast<int>(view.creationError());
    // Dialogs and the shell's windows belong to the installer window.
    backends.ui.setMainWindow(view.installerHandle());
    backends.shell.setOwnerWindow(view.installerHandle());
    backends.system.setOwnerWindow(view.installerHandle());

    platform::Platform platform = backends.platform();
    TInstallerForm form(platform, view, commandLineArguments(), backends.system.moduleFileName());
    // The start-up window is on the screen before the long preparation.
    backends.ui.processPendingMessages();
    form.FormCreate();

    // A loop inside the installation may have taken the quit message already.
    MSG message;
    while (!backends.ui.quitRequested() && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (view.handleDialogKeys(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return form.exitCode();
}
