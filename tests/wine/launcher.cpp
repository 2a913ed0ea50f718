// A launcher for the tests: it makes a window, starts a program with
// "/l=" and the window's handle, and logs what the program sends it.
//   launcher LOG [--reply=N] [--bare] PROGRAM [ARGUMENT...]
// Every "%HWND%" in an argument becomes the window's handle in decimal.
// --bare leaves out the leading "/l=" argument. --reply=N answers every
// WM_COPYDATA with N (default 0). The log gets one line per event:
//   copydata sender=window|none dwData=N cbData=N bytes=HEX
//   post 0x0501 wParam=N lParam=N
//   exit N        (the program's full 32-bit exit code, unsigned decimal)
// Exit code: 0; 2 for bad arguments, 3 when the program did not start, 4
// when it did not end within 60 seconds (times VLX_WAIT_SCALE on a slow
// machine); it is then ended with exit code 1.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wine_test_support.h"

namespace {

constexpr UINT kCloseNotification = 0x0501;
constexpr DWORD kTimeoutMilliseconds = 60000;

struct LauncherLog {
    FILE* file = nullptr;
    LRESULT reply = 0;
};

std::string hex(const void* data, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (DWORD i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

LRESULT CALLBACK launcherProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* log = reinterpret_cast<LauncherLog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (log && message == WM_COPYDATA) {
        const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const HWND sender = reinterpret_cast<HWND>(wParam);
        std::fprintf(log->file, "copydata sender=%s dwData=%lu cbData=%lu bytes=%s\n",
                     sender && IsWindow(sender) ? "window" : "none",
                     static_cast<unsigned long>(record->dwData),
                     static_cast<unsigned long>(record->cbData),
                     hex(record->lpData, record->cbData).c_str());
        std::fflush(log->file);
        return log->reply;
    }
    if (log && message == kCloseNotification) {
        std::fprintf(log->file, "post 0x0501 wParam=%lu lParam=%ld\n",
                     static_cast<unsigned long>(wParam), static_cast<long>(lParam));
        std::fflush(log->file);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// One argument for a command line: quoted when it holds blanks or is empty.
// (The tests pass no quotes or trailing backslashes.)
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t") == std::string::npos)
        return argument;
    return "\"" + argument + "\"";
}

std::string withHandle(std::string argument, const std::string& handle) {
    for (std::size_t at = argument.find("%HWND%"); at != std::string::npos;
         at = argument.find("%HWND%", at + handle.size()))
        argument.replace(at, 6, handle);
    return argument;
}

void handleMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    LauncherLog log;
    log.file = std::fopen(argv[1], "wb");
    if (!log.file)
        return 2;
    int next = 2;
    bool bare = false;
    for (; next < argc && std::strncmp(argv[next], "--", 2) == 0; ++next) {
        if (std::strncmp(argv[next], "--reply=", 8) == 0)
            log.reply = static_cast<LRESULT>(std::strtol(argv[next] + 8, nullptr, 10));
        else if (std::strcmp(argv[next], "--bare") == 0)
            bare = true;
        else
            return 2;
    }
    if (next >= argc)
        return 2;

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = launcherProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "VlxTestLauncher";
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, "VlxTestLauncher", "Test launcher", WS_OVERLAPPED, 0, 0,
                                        100, 100, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 2;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));
    // "/l=" carries the handle's 32 significant bits in decimal.
    const std::string handle =
        std::to_string(static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window)));

    const std::string program = argv[next++];
    std::string commandLine = quoted(program);
    if (!bare) {
        commandLine += " /l=";
        commandLine += handle;
    }
    for (; next < argc; ++next) {
        commandLine += ' ';
        commandLine += quoted(withHandle(argv[next], handle));
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &child))
        return 3;
    CloseHandle(child.hThread);

    const DWORD start = GetTickCount();
    const DWORD limit = winetest::scaledWait(kTimeoutMilliseconds);
    int code = 0;
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= limit) {
            TerminateProcess(child.hProcess, 1);
            code = 4;
            break;
        }
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &child.hProcess, FALSE, limit - waited, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            break;
        handleMessages();
    }
    handleMessages(); // what the program posted just before it ended
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    std::fprintf(log.file, "exit %lu\n", static_cast<unsigned long>(exitCode));
    std::printf("exit %lu\n", static_cast<unsigned long>(exitCode));
    std::fclose(log.file);
    DestroyWindow(window);
    return code;
}
