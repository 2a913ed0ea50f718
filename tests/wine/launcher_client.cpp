// Talks to a launcher as the installer does: through the installer's own
// launcher channel over the real Win32 backend.
//   launcher_client [ARGUMENT...]
// All arguments go to the channel's switch scan, as the installer's command
// line does. Then these requests run in their order:
//   send:TEXT      notifyLauncher(TEXT)
//   activate:NAME  notifyLauncher("makeActiveSaver-" NAME and the extra NUL)
//   quiet          announceQuietSwitches()
//   close          postCloseToLauncher()
//   exit:N         the exit code (decimal, may be negative; default 0)
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "system/launcher_channel.h"

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);

    // The installer window that goes with every command.
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "VlxTestLauncherClient";
    RegisterClassA(&windowClass);
    const HWND window =
        CreateWindowExA(0, "VlxTestLauncherClient", "Launcher client", WS_OVERLAPPED, 0, 0, 100,
                        100, nullptr, nullptr, instance, nullptr);

    platform::win32::Win32Messaging messaging;
    LauncherState state;
    LauncherChannel channel(messaging, state, arguments);
    channel.setInstallerWindow(platform::win32::handleValue(window));

    int exitCode = 0;
    for (const std::string& argument : arguments) {
        if (startsWith(argument, "send:"))
            channel.notifyLauncher(argument.substr(5));
        else if (startsWith(argument, "activate:"))
            channel.notifyLauncher(makeActiveSaverCommand(argument.substr(9)));
        else if (argument == "quiet")
            channel.announceQuietSwitches();
        else if (argument == "close")
            channel.postCloseToLauncher();
        else if (startsWith(argument, "exit:"))
            exitCode = static_cast<int>(std::strtol(argument.c_str() + 5, nullptr, 10));
    }
    if (window)
        DestroyWindow(window);
    return exitCode;
}
