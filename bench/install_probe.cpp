// The installation benchmark's probe (bench/install_bench.sh): starts one program, times it and
// watches its memory, and prints one line.
//   install_probe [--limit=SECONDS] [--poll=MS] [--watch=PATH] PROGRAM [ARGUMENT...]
// Every "%HWND%" in an argument becomes the decimal handle of the probe's message-only window,
// so an installer given "/l=%HWND%" sends its launcher commands (WM_COPYDATA) to the probe.
// While the program runs, its peak working set is read every MS milliseconds (default 5)
// with GetProcessMemoryInfo; the highest reading is kept, and PATH is looked for. The line:
//   probe exit=N total_ms=T ready_ms=R active_ms=A watch_ms=W peak_ws=B messages=M
// T: from just before CreateProcess to the end of the process; R: to the first WM_COPYDATA
// (the installer has read its header), A: to the "makeActiveSaver-" command (its files are
// expanded), W: to the first look that found PATH (the folder an installation step makes);
// -1 when none came. B: bytes, 0 when no reading succeeded.
// Exit code 0 when the program ran to its end (its own exit code is in the line), 2 for bad
// arguments, 3 when it did not start, 4 when it ran longer than the limit (default 1800 s):
// it is then ended, with exit code 1.
#include <windows.h>

#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kActiveCommand = "makeActiveSaver-";

class Clock {
  public:
    Clock() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double elapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{}, start_{};
};

// What the window procedure records; owned by main for the run.
struct Observation {
    const Clock* clock = nullptr;
    double readyMs = -1, activeMs = -1;
    unsigned messages = 0;
};

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* seen = reinterpret_cast<Observation*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (seen && message == WM_COPYDATA) {
        const double at = seen->clock->elapsedMs();
        const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (seen->messages++ == 0)
            seen->readyMs = at;
        const std::string_view text(static_cast<const char*>(record->lpData),
                                    record->lpData ? record->cbData : 0);
        if (seen->activeMs < 0 && text.substr(0, kActiveCommand.size()) == kActiveCommand)
            seen->activeMs = at;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class Handle {
  public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_)
            CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

class ProbeWindow {
  public:
    explicit ProbeWindow(Observation& seen) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = probeProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VlxInstallProbe";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "VlxInstallProbe", "Install probe", 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
        if (window_)
            SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
    }
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;
    ~ProbeWindow() {
        if (window_)
            DestroyWindow(window_);
    }
    HWND get() const { return window_; }

  private:
    HWND window_ = nullptr;
};

std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string text(1, '"');
    text += argument;
    text += '"';
    return text;
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

bool numberOption(const char* argument, const char* name, unsigned long& value) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0)
        return false;
    char* end = nullptr;
    value = std::strtoul(argument + length, &end, 10);
    return end != argument + length && *end == '\0' && value != 0;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long limitSeconds = 1800, pollMs = 5;
    std::string watched;
    int next = 1;
    for (; next < argc && std::strncmp(argv[next], "--", 2) == 0; ++next) {
        if (std::strncmp(argv[next], "--watch=", 8) == 0 && argv[next][8] != '\0')
            watched = argv[next] + 8;
        else if (!numberOption(argv[next], "--limit=", limitSeconds) &&
                 !numberOption(argv[next], "--poll=", pollMs)) {
            std::fprintf(stderr, "install_probe: unknown option %s\n", argv[next]);
            return 2;
        }
    }
    if (next >= argc) {
        std::fprintf(stderr,
                     "usage: install_probe [--limit=SECONDS] [--poll=MS] [--watch=PATH] PROGRAM "
                     "[ARGUMENT...]\n");
        return 2;
    }

    Observation seen;
    ProbeWindow window(seen);
    if (!window.get()) {
        std::fprintf(stderr, "install_probe: no window (error %lu)\n", GetLastError());
        return 2;
    }
    const std::string handle =
        std::to_string(static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window.get())));
    const std::string program = argv[next++];
    std::string commandLine = quoted(program);
    for (; next < argc; ++next) {
        commandLine += ' ';
        commandLine += quoted(withHandle(argv[next], handle));
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const Clock clock;
    seen.clock = &clock;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        std::fprintf(stderr, "install_probe: %s did not start (error %lu)\n", program.c_str(),
                     GetLastError());
        return 3;
    }
    const Handle thread(started.hThread), process(started.hProcess);

    SIZE_T peak = 0;
    const auto readPeak = [&] {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process.get(), &counters, sizeof counters) &&
            counters.PeakWorkingSetSize > peak)
            peak = counters.PeakWorkingSetSize;
    };
    double watchMs = -1;
    const auto look = [&] {
        if (watchMs < 0 && !watched.empty() &&
            GetFileAttributesA(watched.c_str()) != INVALID_FILE_ATTRIBUTES)
            watchMs = clock.elapsedMs();
    };
    int code = 0;
    double totalMs = 0;
    for (;;) {
        readPeak();
        look();
        HANDLE waited = process.get();
        const DWORD woke = MsgWaitForMultipleObjects(1, &waited, FALSE, pollMs, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            totalMs = clock.elapsedMs();
            break;
        }
        handleMessages();
        if (clock.elapsedMs() > 1000.0 * static_cast<double>(limitSeconds)) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), INFINITE);
            totalMs = clock.elapsedMs();
            code = 4;
            break;
        }
    }
    readPeak(); // some systems still answer for a process that has just ended
    handleMessages();
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    std::printf("probe exit=%lu total_ms=%.1f ready_ms=%.1f active_ms=%.1f watch_ms=%.1f "
                "peak_ws=%llu messages=%u\n",
                static_cast<unsigned long>(exitCode), totalMs, seen.readyMs, seen.activeMs, watchMs,
                static_cast<unsigned long long>(peak), seen.messages);
    std::fflush(stdout);
    if (code == 4)
        std::fprintf(stderr, "install_probe: %s ran longer than %lu s and was ended\n",
                     program.c_str(), limitSeconds);
    return code;
}
