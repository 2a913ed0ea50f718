// saverpack: makes screen-saver installers and looks into them.
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "progress.h"
#include "saverpack_cli.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

std::filesystem::path executableFolder(const char* argv0) {
#if defined(_WIN32)
    std::wstring buffer(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length > 0 && length < buffer.size())
        return std::filesystem::path(buffer.substr(0, length)).parent_path();
#else
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return self.parent_path();
#endif
    return std::filesystem::path(argv0 != nullptr ? argv0 : "").parent_path();
}

} // namespace

int main(int argc, char** argv) {
    ToolEnvironment environment;
    environment.libraryCandidates.push_back(executableFolder(argv[0]) / "impborl.dll");
#if defined(SAVERPACK_MINGW_IMPBORL)
    // A native build packs the library that the MinGW build made.
    environment.libraryCandidates.push_back(SAVERPACK_MINGW_IMPBORL);
#endif
    environment.stubCandidates.push_back(executableFolder(argv[0]) / "installer.exe");
#if defined(SAVERPACK_MINGW_INSTALLER)
    // A native build packs the program that the 32-bit MinGW build made.
    environment.stubCandidates.push_back(SAVERPACK_MINGW_INSTALLER);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    environment.errorsToTerminal = standardErrorIsTerminal();
    return runSaverpack(args, std::cout, std::cerr, environment);
}
