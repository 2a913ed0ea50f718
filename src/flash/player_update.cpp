#include "flash/player_update.h"

#include <cstdint>
#include <vector>

#include "base/trace.h"
#include "payload/entry_destinations.h"
#include "payload/file_extraction.h"
#include "platform/player_control.h"
#include "platform/registry.h"
#include "system/delimited_text.h"
#include "system/file_operations.h"
#include "system/platform_checks.h"

namespace {

constexpr const char* kPlayerServerKey =
    "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

// The carried installers' versions, by the header's index.
constexpr FlashVersion kCarriedInstallerVersions[] = {{10, 12}, {9, 124}};

// Shell answers: above 32 started; 0 means out of memory or resources.
constexpr std::int32_t kShellStarted = 32;
constexpr ResultCode kShellOutOfResources = -7;

std::optional<std::int32_t> decimalNumber(const std::string& text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    if (at == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9')
            return std::nullopt;
        value = value * 10 + (text[at] - '0');
        if (value > INT32_MAX + std::int64_t{negative ? 1 : 0})
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

} // namespace

std::optional<FlashVersion> carriedInstallerVersion(std::uint8_t flashAXInstallerVersion) {
    if (flashAXInstallerVersion >= std::size(kCarriedInstallerVersions))
        return std::nullopt;
    return kCarriedInstallerVersions[flashAXInstallerVersion];
}

std::optional<FlashVersion> parsePlayerVersionText(const std::string& text) {
    std::vector<std::string> tokens;
    splitDelimited(',', text, tokens);
    if (tokens.size() < 4)
        return std::nullopt;
    const auto major = decimalNumber(tokens[1]);
    const auto revision = decimalNumber(tokens[3]);
    if (!major || !revision)
        return std::nullopt;
    return FlashVersion{*major, *revision};
}

ResultCode getFlashOCXFilePath(platform::Registry& registry, std::string& path) {
    trace("getFlashOCXFilePath");
    path.clear();
    platform::WinError error = platform::kErrorNone;
    // Opening with full access fails on an account that may not change the
    // key: the player then counts as not registered.
    if (auto key = registry.openKey(platform::RegistryRoot::ClassesRoot, kPlayerServerKey, error)) {
        trace("foundKey: ", kPlayerServerKey);
        if (key->readString("", path) != platform::kErrorNone)
            path.clear();
    }
    trace("flashOCXFilePath: ", path);
    const ResultCode code = path.empty() ? result::kFlashPlayerRequired : result::kOk;
    trace("getFlashOCXFilePath", code);
    return code;
}

FlashDetection getFlashPlayerVersionInfoFromFileProperties(platform::Platform& platform) {
    trace("getFlashPlayerVersionInfoFromFileProperties");
    FlashDetection detection;
    std::string path;
    if (getFlashOCXFilePath(platform.registry, path) == result::kOk &&
        platform.files.fileExists(path)) {
        trace("Flash OCX Path: ", path);
        detection.found = true;
        std::uint32_t major = 0;
        std::uint32_t revision = 0;
        myGetFileVersion(platform.system, path, major, revision);
        detection.version = {static_cast<std::int32_t>(major), static_cast<std::int32_t>(revision)};
    }
    trace("FlashPlayerVersionInfoFromFileProperties: ",
          std::to_string(detection.version.major) + " r" +
              std::to_string(detection.version.revision));
    return detection;
}

ResultCode getFlashPlayerVersionFromControl(platform::Platform& platform, PlayerVersionCache& cache,
                                            int attempts, FlashDetection& detection) {
    trace("getFlashPlayerVersionFromControl");
    detection.found = true;
    if (cache.filled()) {
        detection.version = cache.version;
        trace("getFlashPlayerVersionFromControl", result::kOk);
        return result::kOk;
    }
    detection = {};
    ResultCode code = result::kOk;
    std::unique_ptr<platform::PlayerControl> control;
    // Only a failed creation is tried again; a created control that cannot
    // tell its version ends the search.
    for (int tries = 0; tries < attempts && !control;) {
        ++tries;
        platform.ui.sleep(kControlAttemptPause);
        control = platform.players.create();
        if (!control) {
            code = result::kFlashPlayerRequired;
            continue;
        }
        const auto answer = control->getVariable("$version");
        const auto version = answer ? parsePlayerVersionText(*answer) : std::nullopt;
        if (!version) {
            code = result::kFlashPlayerRequired;
            continue;
        }
        detection.version = *version;
        cache.version = *version;
        detection.found = true;
        code = result::kOk;
    }
    control.reset();
    trace("getFlashPlayerVersionFromControl", code);
    return code;
}

FlashDetection getFlashPlayerVersion(platform::Platform& platform, PlayerVersionCache& cache,
                                     int attempts) {
    trace("getFlashPlayerVersion");
    FlashDetection detection = getFlashPlayerVersionInfoFromFileProperties(platform);
    if (detection.version.major <= 0) {
        detection = {};
        getFlashPlayerVersionFromControl(platform, cache, attempts, detection);
    }
    return detection;
}

ResultCode verifyFlashAXInstallerCanRunOnThisMachine(platform::SystemInfo& system,
                                                     std::int32_t carriedMajor) {
    trace("verifyFlashAXInstallerCanRunOnThisMachine");
    const OperatingSystemClass os = GetOperatingSystem(system);
    trace("version: ", os);
    const ResultCode code = os == osclass::kWindowsNt4 && carriedMajor >= 8
                                ? result::kNotCompatibleWithNt
                                : result::kOk;
    trace("verifyFlashAXInstallerCanRunOnThisMachine", code);
    return code;
}

ResultCode extractFlashActiveXInstaller(InstallerContext& context) {
    trace("extractFlashActiveXInstaller");
    const ResultCode code = extractSingleEntry(context, entry::kFlashInstaller);
    trace("extractFlashActiveXInstaller", code);
    return code;
}

ResultCode runFlashPlayerInstaller(InstallerContext& context, const std::string& fileName,
                                   bool silent) {
    trace("runFlashPlayerInstaller", fileName);
    platform::Platform& platform = context.platform;
    const std::string program = context.paths.workDir + fileName;
    const char* parameters = "";
    if (silent)
        parameters = isFlashInstallerName(fileName) ? "/s" : "/Q"; // the known names take "/s"
    ResultCode code = result::kOk;
    if (!platform.files.fileExists(program)) {
        code = result::kFlashInstallerMissing;
    } else {
        const std::int32_t answer = platform.shell.startProgram(
            program, parameters, silent ? platform::ShowMode::Hidden : platform::ShowMode::Normal);
        if (silent)
            platform.ui.bringApplicationToFront();
        if (answer > kShellStarted)
            code = result::kOk;
        else if (answer == 0)
            code = kShellOutOfResources;
        else
            code = answer;
    }
    trace("runFlashPlayerInstaller", code);
    return code;
}

ResultCode handleFlashActiveXControlUpdate(InstallerContext& context, PlayerVersionCache& cache,
                                           const std::string& fileName) {
    trace("handleFlashActiveXControlUpdate", fileName);
    ResultCode code = runFlashPlayerInstaller(context, fileName, true);
    if (code == result::kOk) {
        FlashDetection detection;
        code = getFlashPlayerVersionFromControl(context.platform, cache, kInstallerCheckAttempts,
                                                detection);
    }
    // After any failure the user gets the installer itself, to install by hand.
    if (code != result::kOk)
        runFlashPlayerInstaller(context, fileName, false);
    trace("handleFlashActiveXControlUpdate", code);
    return code;
}

namespace {

ResultCode runFlashStepWhileHeld(InstallerContext& context, PlayerVersionCache& cache) {
    const InstallerHeader& header = context.package.header;
    const FlashDetection installed =
        getFlashPlayerVersion(context.platform, cache, kInstallerCheckAttempts);
    const bool carries = header.carriesFlashInstaller != 0;
    trace("carrying Flash PlugIn = ", carries ? "true" : "false");

    FlashVersion carried;
    if (carries) {
        trace("flashAXInstallerVersion Installer Flag: ", header.flashAXInstallerVersion);
        const auto version = carriedInstallerVersion(header.flashAXInstallerVersion);
        if (!version)
            return result::kFlashInstallerVersionUnknown;
        carried = *version;
        trace("Flash AX In Installer: ", header.entries[entry::kFlashInstaller].name);
    }

    ResultCode code =
        verifyFlashAXInstallerCanRunOnThisMachine(context.platform.system, carried.major);
    if (code == result::kOk && carries)
        code = extractFlashActiveXInstaller(context);
    if (code != result::kOk)
        return code;

    trace("FlashActiveX:", std::to_string(installed.version.major) + " r" +
                               std::to_string(installed.version.revision));
    bool update = false;
    if (installed.found) {
        if (carried.major > installed.version.major) {
            trace("==== major version update ====");
            update = true;
        } else if (carried.major == installed.version.major && installed.version.revision != 0 &&
                   carried.revision > installed.version.revision) {
            trace("==== minor version update ====");
            update = true;
        }
    } else if (carries) {
        trace("==== do clean install ====");
        update = true;
    } else {
        trace("==== tell user to download and install player ====");
        return result::kFlashPlayerRequired;
    }

    if (update) {
        code = handleFlashActiveXControlUpdate(context, cache,
                                               header.entries[entry::kFlashInstaller].name);
        if (code == result::kFlashPlayerRequired)
            code = result::kFlashUpdateFailed;
    }
    return code;
}

} // namespace

ResultCode runFlashStep(InstallerContext& context, PlayerVersionCache& cache) {
    // The carried installer has been started by the end of the step, or will
    // not be: it is let go whatever ends the step.
    struct LetGo {
        InstallerContext& context;
        ~LetGo() { context.heldPlayerInstaller.reset(); }
    } letGo{context};
    return runFlashStepWhileHeld(context, cache);
}
