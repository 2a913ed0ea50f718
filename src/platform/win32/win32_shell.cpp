#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>

namespace platform::win32 {

void Win32Shell::openDocument(const std::string& path) {
    ShellExecuteA(owner_, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::int32_t Win32Shell::startProgram(const std::string& program, const std::string& parameters,
                                      ShowMode show) {
    const HINSTANCE started =
        ShellExecuteA(owner_, nullptr, program.c_str(), parameters.c_str(), nullptr,
                      show == ShowMode::Hidden ? SW_HIDE : SW_SHOWNORMAL);
    // The value is an HINSTANCE only for compatibility: a number, at most 32
    // for a failure.
    const auto value = reinterpret_cast<INT_PTR>(started);
    return static_cast<std::int32_t>(std::clamp<INT_PTR>(value, 0, INT32_MAX));
}

} // namespace platform::win32
