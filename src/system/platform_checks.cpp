#include "system/platform_checks.h"

#include "base/trace.h"

namespace {

constexpr std::uint32_t kPlatformWindows = 1; // VER_PLATFORM_WIN32_WINDOWS
constexpr std::uint32_t kPlatformNt = 2;      // VER_PLATFORM_WIN32_NT

OperatingSystemClass classify(const platform::OsVersion& v) {
    if (v.platformId == kPlatformWindows) {
        if (v.major == 4 && v.minor == 0)
            return osclass::kWindows95;
        if (v.major == 4 && v.minor == 10) {
            const bool secondEdition = v.servicePack.size() > 1 && v.servicePack[1] == 'A';
            return secondEdition ? osclass::kWindows98SecondEdition : osclass::kWindows98;
        }
        if (v.major == 4 && v.minor == 90)
            return osclass::kWindowsMe;
        return osclass::kUnrecognised;
    }
    if (v.platformId == kPlatformNt) {
        if (v.major <= 4)
            return osclass::kWindowsNt4;
        if (v.major == 5 && v.minor == 0)
            return osclass::kWindows2000;
        if (v.major == 5 && v.minor == 1)
            return osclass::kWindowsXp;
    }
    return osclass::kUnrecognised;
}

} // namespace

bool runningOnWin64(platform::SystemInfo& system) {
    switch (system.queryWow64()) {
    case platform::Wow64Answer::ExportMissing:
    case platform::Wow64Answer::No:
        return false;
    case platform::Wow64Answer::Yes:
        return true;
    case platform::Wow64Answer::CallFailed:
        break;
    }
    throw PlatformCheckError(kBadProcessHandle);
}

OperatingSystemClass GetOperatingSystem(platform::SystemInfo& system) {
    trace("GetOperatingSystem");
    OperatingSystemClass result = osclass::kUnrecognised;
    if (runningOnWin64(system)) {
        result = osclass::kWindows64;
    } else if (const auto version = system.versionInfo()) {
        result = classify(*version);
    }
    trace("GetOperatingSystem", result);
    return result;
}

bool isWin9xFamily(platform::SystemInfo& system) {
    const auto v = system.versionInfo();
    if (!v || v->platformId != kPlatformWindows || v->major != 4)
        return false;
    return v->minor == 0 || v->minor == 10 || v->minor == 90;
}
