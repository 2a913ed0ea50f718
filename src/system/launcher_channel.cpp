#include "system/launcher_channel.h"

#include <algorithm>
#include <limits>

#include "base/trace.h"
#include "system/path_names.h"

namespace {

// The argument with every "/l=" taken out, in any letter case.
std::string withoutLauncherSwitches(std::string_view argument) {
    const std::string lowered = lowerAscii(argument);
    std::string rest;
    for (std::size_t i = 0; i < argument.size();) {
        if (lowered.compare(i, launcher::kLauncherSwitch.size(), launcher::kLauncherSwitch) == 0) {
            i += launcher::kLauncherSwitch.size();
        } else {
            rest += argument[i];
            ++i;
        }
    }
    return rest;
}

platform::WindowHandle decimalHandle(std::string_view digits) {
    constexpr std::uint64_t kLargest = std::numeric_limits<platform::WindowHandle>::max();
    if (digits.empty())
        return platform::kNoWindow;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return platform::kNoWindow;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kLargest)
            return platform::kNoWindow;
    }
    const auto handle = static_cast<platform::WindowHandle>(value);
    for (platform::WindowHandle everyWindow : launcher::kBroadcastHandles) {
        if (handle == everyWindow)
            return platform::kNoWindow;
    }
    return handle;
}

} // namespace

CommandRecord makeCommandRecord(std::string_view text) {
    CommandRecord record;
    record.data.assign(text);
    record.data.push_back('\0');
    record.cbData = static_cast<std::uint32_t>(record.data.size());
    return record;
}

std::string makeActiveSaverCommand(std::string_view engineFileName) {
    std::string command(launcher::kMakeActiveSaverCommand);
    command += engineFileName;
    command.push_back('\0');
    return command;
}

std::optional<platform::WindowHandle> launcherSwitchValue(std::string_view argument) {
    if (argument.substr(0, launcher::kLauncherSwitch.size()) != launcher::kLauncherSwitch)
        return std::nullopt;
    return decimalHandle(withoutLauncherSwitches(argument));
}

bool isQuietSwitch(std::string_view argument) {
    return lowerAscii(argument) == launcher::kQuietSwitch;
}

LauncherChannel::LauncherChannel(platform::Messaging& messaging, LauncherState& state,
                                 std::vector<std::string> arguments)
    : messaging_(messaging), state_(state), arguments_(std::move(arguments)) {}

void LauncherChannel::findLauncherWindow() {
    for (const std::string& argument : arguments_) {
        trace("command line parameter:", argument);
        if (const auto window = launcherSwitchValue(argument)) {
            state_.launcherWindow = *window;
            break;
        }
    }
    trace("Installer launched by :", static_cast<std::int64_t>(state_.launcherWindow));
    if (state_.launcherWindow != platform::kNoWindow)
        trace("Message sent by:", static_cast<std::int64_t>(installerWindow_));
    else
        trace("Window not found:", std::int64_t{0});
    trace("Message result:", std::int64_t{launcher::kNoReply});
}

void LauncherChannel::notifyLauncher(std::string_view text) {
    sendToLauncher(makeCommandRecord(text));
}

void LauncherChannel::sendToLauncher(const CommandRecord& record) {
    if (state_.launcherWindow == platform::kNoWindow)
        findLauncherWindow();
    std::int32_t reply = launcher::kNoReply;
    if (state_.launcherWindow != platform::kNoWindow) {
        const auto size =
            static_cast<std::uint32_t>(std::min<std::size_t>(record.cbData, record.data.size()));
        reply = messaging_.sendCopyData(state_.launcherWindow, installerWindow_, record.dwData,
                                        record.data.data(), size);
        trace("Message sent by:", static_cast<std::int64_t>(installerWindow_));
    } else {
        trace("Window not found:", std::int64_t{0});
    }
    trace("Message result:", std::int64_t{reply});
}

void LauncherChannel::postCloseToLauncher() {
    // A run that ends before its first command has not looked for the
    // launcher yet; it is told all the same.
    if (state_.launcherWindow == platform::kNoWindow)
        findLauncherWindow();
    messaging_.postMessage(state_.launcherWindow, launcher::kCloseNotification, 0, 0);
}

bool LauncherChannel::announceQuietSwitches() {
    bool quiet = false;
    for (const std::string& argument : arguments_) {
        trace("command line parameter:", argument);
        if (isQuietSwitch(argument)) {
            notifyLauncher(launcher::kQuietInstallerCommand);
            quiet = true;
        }
    }
    return quiet;
}
