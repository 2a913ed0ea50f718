#include "platform/win32/win32_platform.h"

#include <shellapi.h>

namespace platform::win32 {

void Win32Shell::openDocument(const std::string& path) {
    ShellExecuteA(owner_, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace platform::win32
