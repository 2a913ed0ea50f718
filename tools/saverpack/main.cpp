// saverpack: makes screen-saver installers and looks into them.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "file_io.h"
#include "progress.h"
#include "saverpack_cli.h"
#include "vlx_version.h"

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

#if defined(_WIN32)

std::string utf8FromWide(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
}

// The arguments after the program name, from the wide command line, in UTF-8.
std::vector<std::string> commandLineArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return {};
    struct Release {
        LPWSTR* list;
        ~Release() { LocalFree(list); }
    } release{wide};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(utf8FromWide(wide[i]));
    return args;
}

// While it lives, a console shows what the tool writes as UTF-8; output to a
// file or a pipe is UTF-8 bytes anyway.
class Utf8Console {
  public:
    Utf8Console() {
        DWORD mode = 0;
        const HANDLE handles[] = {GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
        for (const HANDLE handle : handles) {
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
                GetConsoleMode(handle, &mode))
                previous_ = GetConsoleOutputCP();
        }
        if (previous_ != 0 && !SetConsoleOutputCP(CP_UTF8))
            previous_ = 0;
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;
    ~Utf8Console() {
        if (previous_ != 0)
            SetConsoleOutputCP(previous_);
    }

  private:
    UINT previous_ = 0;
};

std::filesystem::path executableFolder(const char*) {
    std::wstring buffer(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length > 0 && length < buffer.size())
        return std::filesystem::path(buffer.substr(0, length)).parent_path();
    return {};
}

#else

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

struct Utf8Console {};

std::filesystem::path executableFolder(const char* argv0) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return self.parent_path();
    return pathFromUtf8(argv0 != nullptr ? argv0 : "").parent_path();
}

#endif

} // namespace

int main(int argc, char** argv) {
    [[maybe_unused]] const Utf8Console console{};
    const std::filesystem::path folder = executableFolder(argc > 0 ? argv[0] : nullptr);
#if defined(_WIN32)
    // saverpack.exe is unpacked with the installer program and the library.
    const std::filesystem::path data = folder;
#else
    // Installed as <prefix>/bin/saverpack with <prefix>/share/saverpack/.
    const std::filesystem::path data = (folder / ".." / "share" / "saverpack").lexically_normal();
#endif
    ToolEnvironment environment;
    environment.version = VLX_VERSION_TEXT;
    environment.libraryCandidates.push_back(data / "impborl.dll");
    environment.stubCandidates.push_back(data / "installer.exe");
    environment.errorsToTerminal = standardErrorIsTerminal();
    return runSaverpack(commandLineArguments(argc, argv), std::cout, std::cerr, environment);
}
