// The uninstall entry of a 32-bit installer in a 64-bit prefix: its writes
// under HKEY_LOCAL_MACHINE\Software land in the 32-bit view, which the 64-bit
// view shows below Software\Wow6432Node.
#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "system/path_names.h"
#include "system/uninstall_entry.h"
#include "wine_test_support.h"

namespace {

const std::string kUninstall = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool keyExists(const std::string& key, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::string uninstallString(const std::string& key, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) !=
        ERROR_SUCCESS)
        return "<missing>";
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    const LONG read = RegQueryValueExA(opened, "UninstallString", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    return read == ERROR_SUCCESS ? std::string(buffer) : "<missing>";
}

TEST(Wow64Registration, MachineEntryLandsInTheThirtyTwoBitView) {
    WINETEST_NEEDS_WOW64();
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    const std::string systemDir = withTrailingBackslash(win32.system.systemDirectory());
    const std::string title = "Vlx Wow64 Test " + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(registerUninstallEntry(platform, {}, systemDir, title, "VlxWow64"), result::kOk);

    const std::string redirected = "Software\\Wow6432Node\\" + kUninstall + title;
    const std::string native = "Software\\" + kUninstall + title;
    EXPECT_EQ(uninstallString(redirected, KEY_WOW64_64KEY), systemDir + "VlxWow64.scr /u");
    EXPECT_FALSE(keyExists(native, KEY_WOW64_64KEY)) << "not in the 64-bit view";
    EXPECT_TRUE(keyExists(native, KEY_WOW64_32KEY));
    EXPECT_TRUE(keyExists(native, 0)) << "the program's own view";

    EXPECT_EQ(removeUninstallEntry(platform, title), result::kOk);
    EXPECT_FALSE(keyExists(redirected, KEY_WOW64_64KEY));
    EXPECT_FALSE(keyExists(native, 0));
}

} // namespace
