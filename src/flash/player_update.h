// Finding the installed Flash Player control and its version, and running the
// player installer that a package may carry when the control is missing or
// older than the carried one.
#pragma once

#include <optional>
#include <string>

#include "base/result_codes.h"
#include "flash/flash_version.h"
#include "payload/installer_context.h"
#include "platform/platform.h"

constexpr int kInstallerCheckAttempts = 20;
constexpr std::uint32_t kControlAttemptPause = 500; // milliseconds, messages not handled

// The version of the carried installer for the header's index (0 or 1).
std::optional<FlashVersion> carriedInstallerVersion(std::uint8_t flashAXInstallerVersion);

// Major and revision (tokens 2 and 4) of a "$version" answer such as
// "WIN 10,0,12,36"; nothing when a token is missing or not a number.
std::optional<FlashVersion> parsePlayerVersionText(const std::string& text);

ResultCode getFlashOCXFilePath(platform::Registry& registry, std::string& path);
FlashDetection getFlashPlayerVersionInfoFromFileProperties(platform::Platform& platform);
ResultCode getFlashPlayerVersionFromControl(platform::Platform& platform, PlayerVersionCache& cache,
                                            int attempts, FlashDetection& detection);
// File properties first, the control second.
FlashDetection getFlashPlayerVersion(platform::Platform& platform, PlayerVersionCache& cache,
                                     int attempts);

ResultCode verifyFlashAXInstallerCanRunOnThisMachine(platform::SystemInfo& system,
                                                     std::int32_t carriedMajor);
ResultCode extractFlashActiveXInstaller(InstallerContext& context);
ResultCode runFlashPlayerInstaller(InstallerContext& context, const std::string& fileName,
                                   bool silent);
ResultCode handleFlashActiveXControlUpdate(InstallerContext& context, PlayerVersionCache& cache,
                                           const std::string& fileName);

// The driver's Flash step: looks the player up, checks and extracts the
// carried installer, and runs it when the player is missing or older. The
// extracted installer is held from its writing until the step ends, after
// its last start.
ResultCode runFlashStep(InstallerContext& context, PlayerVersionCache& cache);
