// Which Windows this is: the operating-system class, the WOW64 state and the
// Windows 95/98/ME family. Each call asks the system anew.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "platform/platform.h"

using OperatingSystemClass = std::int32_t;

namespace osclass {
constexpr OperatingSystemClass kUnrecognised = -1;
constexpr OperatingSystemClass kWindows95 = 0;
constexpr OperatingSystemClass kWindows98 = 1;
constexpr OperatingSystemClass kWindows98SecondEdition = 2;
constexpr OperatingSystemClass kWindowsMe = 3;
constexpr OperatingSystemClass kWindowsNt4 = 4;
constexpr OperatingSystemClass kWindows2000 = 5;
constexpr OperatingSystemClass kWindowsXp = 6;
constexpr OperatingSystemClass kWindows64 = 7;
} // namespace osclass

// Raised when IsWow64Process exists but fails; nothing below the top level
// catches it.
class PlatformCheckError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

constexpr const char* kBadProcessHandle = "Bad process handle";

bool runningOnWin64(platform::SystemInfo& system);
OperatingSystemClass GetOperatingSystem(platform::SystemInfo& system);
bool isWin9xFamily(platform::SystemInfo& system);
