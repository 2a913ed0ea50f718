#include "child_process.h"

#include <algorithm>
#include <cstdlib>

#include "file_io.h"

#if defined(_WIN32)
// The handle list that limits what the child inherits is declared for
// Windows Vista and later; the rest of the build names Windows XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kOutputKept = 64 * 1024;

using Clock = std::chrono::steady_clock;

void keepTail(std::string& output, const char* bytes, std::size_t count) {
    output.append(bytes, count);
    if (output.size() > kOutputKept)
        output.erase(0, output.size() - kOutputKept);
}

// The whole milliseconds left until `deadline`, at least 0.
long long millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return std::max<long long>(left, 0);
}

// The length of the UTF-8 sequence at the start of `bytes` when it encodes
// a printable character (no C1 control, no surrogate, not overlong); else 0.
std::size_t printableSequence(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const std::size_t length = lead >= 0xC2 && lead < 0xE0   ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || bytes.size() < length)
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000) || code < 0xA0)
        return 0;
    return length;
}

#if defined(_WIN32)
constexpr char kPathSeparator = ';';

bool isProgramFile(const fs::path& candidate) {
    std::error_code error;
    return fs::is_regular_file(candidate, error);
}

class OwnedHandle {
  public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { reset(); }
    HANDLE get() const { return handle_; }
    HANDLE* receive() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

// One argument quoted the way CommandLineToArgvW and the C runtime read it.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}
#else
constexpr char kPathSeparator = ':';

bool isProgramFile(const fs::path& candidate) {
    std::error_code error;
    return fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0;
}

class OwnedDescriptor {
  public:
    OwnedDescriptor() = default;
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() { reset(); }
    int get() const { return fd_; }
    void take(int fd) {
        reset();
        fd_ = fd;
    }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};
#endif

} // namespace

std::string plainText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const auto first = static_cast<unsigned char>(bytes[0]);
        std::size_t taken = 1;
        if (first == '\r') {
        } else if (first == '\n' || first == '\t' || (first >= 0x20 && first < 0x7F)) {
            text += bytes[0];
        } else if (const std::size_t length = first >= 0x80 ? printableSequence(bytes) : 0;
                   length != 0) {
            text.append(bytes.substr(0, length));
            taken = length;
        } else {
            text += '?';
        }
        bytes.remove_prefix(taken);
    }
    return text;
}

std::optional<fs::path> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return std::nullopt;
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(kPathSeparator, start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty())
            continue;
        for (const std::string& file : {name, name + ".exe"}) {
            const fs::path candidate = fs::path(folder) / file;
            if (isProgramFile(candidate))
                return candidate;
#if !defined(_WIN32)
            break; // no .exe suffix to try here
#endif
        }
    }
    return std::nullopt;
}

#if defined(_WIN32)
namespace {

// The attribute list that names the only handles a child inherits.
class InheritedHandles {
  public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
            return;
        list_ = list;
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr))
            reset();
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    ~InheritedHandles() { reset(); }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

  private:
    void reset() {
        if (list_ != nullptr)
            DeleteProcThreadAttributeList(list_);
        list_ = nullptr;
    }

    std::vector<HANDLE> handles_;
    std::vector<char> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

} // namespace

ChildResult runChild(const fs::path& program, const std::vector<fs::path>& args,
                     std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    std::wstring commandLine = quoted(program.wstring());
    for (const fs::path& arg : args)
        commandLine += L" " + quoted(arg.wstring());

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (!CreatePipe(readEnd.receive(), writeEnd.receive(), &inheritable, 0) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0))
        throw ToolError(program, "cannot be started: no pipe for its output");
    OwnedHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, OPEN_EXISTING, 0, nullptr));
    if (input.get() == INVALID_HANDLE_VALUE)
        throw ToolError(program, "cannot be started: no input for it");
    const InheritedHandles inherited({input.get(), writeEnd.get()});
    if (inherited.get() == nullptr)
        throw ToolError(program, "cannot be started: its handles cannot be limited (error " +
                                     std::to_string(GetLastError()) + ")");

    // The job stops the signer and whatever it started at the limit, and
    // whatever is left when the job's handle closes.
    OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job.get() == nullptr ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits))
        throw ToolError(program, "cannot be started: no job object for it (error " +
                                     std::to_string(GetLastError()) + ")");

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.get();
    startup.StartupInfo.hStdOutput = writeEnd.get();
    startup.StartupInfo.hStdError = writeEnd.get();
    startup.lpAttributeList = inherited.get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                        nullptr, &startup.StartupInfo, &started))
        throw ToolError(program,
                        "cannot be started (error " + std::to_string(GetLastError()) + ")");
    OwnedHandle process(started.hProcess);
    OwnedHandle thread(started.hThread);
    // A process already in a job that allows no nesting (before Windows 8)
    // cannot join ours; TerminateProcess still stops the signer itself.
    const bool inJob = AssignProcessToJobObject(job.get(), process.get()) != 0;
    ResumeThread(thread.get());
    writeEnd.reset();
    input.reset();

    // Anonymous pipes cannot wait with a limit: the pipe is looked at
    // between short waits for the process.
    ChildResult result;
    char buffer[4096];
    bool ended = false;
    for (;;) {
        if (!ended && millisecondsLeft(deadline) == 0) {
            result.timedOut = WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0;
            break;
        }
        DWORD waiting = 0;
        if (!PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &waiting, nullptr))
            break; // every writer has closed the pipe
        if (waiting > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd.get(), buffer, std::min<DWORD>(waiting, sizeof buffer), &got,
                          nullptr) ||
                got == 0)
                break;
            keepTail(result.output, buffer, got);
            continue;
        }
        if (ended)
            break; // it has ended and said all it had to say
        const DWORD wait = static_cast<DWORD>(std::min<long long>(millisecondsLeft(deadline), 10));
        ended = WaitForSingleObject(process.get(), wait) == WAIT_OBJECT_0;
    }
    if (!result.timedOut && !ended &&
        WaitForSingleObject(process.get(), static_cast<DWORD>(millisecondsLeft(deadline))) !=
            WAIT_OBJECT_0)
        result.timedOut = true;
    if (result.timedOut) {
        if (!inJob || !TerminateJobObject(job.get(), 1))
            TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), INFINITE);
    }
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = static_cast<int>(code);
    result.output = plainText(result.output);
    return result;
}
#else
namespace {

class SpawnAttributes {
  public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
};

} // namespace

ChildResult runChild(const fs::path& program, const std::vector<fs::path>& args,
                     std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    std::vector<std::string> argStrings;
    argStrings.push_back(program.string());
    for (const fs::path& arg : args)
        argStrings.push_back(arg.string());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw ToolError(program, std::string("cannot be started: ") + std::strerror(errno));
    OwnedDescriptor readEnd;
    OwnedDescriptor writeEnd;
    readEnd.take(ends[0]);
    writeEnd.take(ends[1]);

    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
    // A process group of its own, so that what it starts can be stopped with it.
    SpawnAttributes attributes;
    posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(attributes.get(), 0);
    pid_t child = 0;
    const int failed =
        posix_spawn(&child, program.c_str(), actions.get(), attributes.get(), argv.data(), environ);
    if (failed != 0)
        throw ToolError(program, std::string("cannot be started: ") + std::strerror(failed));
    writeEnd.reset();

    ChildResult result;
    char buffer[4096];
    for (;;) {
        const long long left = millisecondsLeft(deadline);
        if (left == 0) {
            result.timedOut = true;
            break;
        }
        pollfd ready{readEnd.get(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min(left, 1000LL)));
        if (polled == 0 || (polled < 0 && errno == EINTR))
            continue;
        if (polled < 0)
            break;
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got > 0)
            keepTail(result.output, buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    // The pipe is closed; the program may still be running.
    int status = 0;
    bool reaped = false;
    while (!result.timedOut) {
        const pid_t waited = ::waitpid(child, &status, WNOHANG);
        if (waited == child) {
            reaped = true;
            break;
        }
        if (waited < 0 && errno != EINTR)
            break;
        if (millisecondsLeft(deadline) == 0)
            result.timedOut = true;
        else
            ::usleep(10 * 1000);
    }
    if (result.timedOut) {
        ::kill(-child, SIGKILL);
        while (!(reaped = ::waitpid(child, &status, 0) == child) && errno == EINTR) {
        }
    }
    result.exitCode = !reaped             ? 128
                      : WIFEXITED(status) ? WEXITSTATUS(status)
                                          : 128 + WTERMSIG(status);
    result.output = plainText(result.output);
    return result;
}
#endif
