#include "child_process.h"

#include <cstdlib>

#include "file_io.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kOutputKept = 64 * 1024;

void keepTail(std::string& output, const char* bytes, std::size_t count) {
    output.append(bytes, count);
    if (output.size() > kOutputKept)
        output.erase(0, output.size() - kOutputKept);
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
ChildResult runChild(const fs::path& program, const std::vector<fs::path>& args) {
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

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started))
        throw ToolError(program,
                        "cannot be started (error " + std::to_string(GetLastError()) + ")");
    OwnedHandle process(started.hProcess);
    OwnedHandle thread(started.hThread);
    writeEnd.reset();

    ChildResult result;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        keepTail(result.output, buffer, got);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = static_cast<int>(code);
    return result;
}
#else
ChildResult runChild(const fs::path& program, const std::vector<fs::path>& args) {
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
    pid_t child = 0;
    const int failed =
        posix_spawn(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (failed != 0)
        throw ToolError(program, std::string("cannot be started: ") + std::strerror(failed));
    writeEnd.reset();

    ChildResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got > 0)
            keepTail(result.output, buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
#endif
