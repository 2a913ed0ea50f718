// The conversation with the launcher, the program that started the installer
// and named one of its windows with "/l=" on the command line. The installer
// sends it short text commands (WM_COPYDATA) and posts it one notification
// when its window closes. Without a launcher the commands go nowhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messaging.h"

namespace launcher {

// Command-line switches.
constexpr std::string_view kLauncherSwitch = "/l=";
constexpr std::string_view kQuietSwitch = "/q";

// The commands, exactly as the launcher expects them.
constexpr std::string_view kReadHeaderCommand = "read installer heard file";
constexpr std::string_view kQuietInstallerCommand = "quiet installer";
constexpr std::string_view kMakeActiveSaverCommand = "makeActiveSaver-";
constexpr std::string_view kOpenControlPanelCommand = "openScreenSaverControlPanel";

// Posted when the installer window closes (WM_USER + 0x101).
constexpr std::uint32_t kCloseNotification = 0x0501;

// Handles that address every top-level window at once (HWND_BROADCAST, and
// HWND_TOPMOST, which the system treats alike): never one launcher.
constexpr platform::WindowHandle kBroadcastHandles[] = {0xFFFF, 0xFFFFFFFF};

// The reply value traced when no launcher is known.
constexpr std::int32_t kNoReply = -1;

} // namespace launcher

// Which launcher window the installer talks to; kNoWindow until one is found.
// Owned by the installer for the whole run.
struct LauncherState {
    platform::WindowHandle launcherWindow = platform::kNoWindow;
};

// The record sent with every command (COPYDATASTRUCT).
struct CommandRecord {
    std::uint32_t dwData = 0;
    std::uint32_t cbData = 0; // the text's length plus its terminating NUL
    std::string data;         // the text followed by its terminating NUL
};

CommandRecord makeCommandRecord(std::string_view text);

// "makeActiveSaver-", the engine's file name and one extra NUL, which the
// record then counts together with the terminator.
std::string makeActiveSaverCommand(std::string_view engineFileName);

// For an argument that begins with exactly "/l=" (lower-case l), the window
// it names: every "/l=" in it (in any letter case) is removed and the rest is
// read as an unsigned decimal number. A rest that is empty, holds anything but
// the digits 0 to 9 (a sign, blanks, hexadecimal), is above 4294967295 or is
// one of the broadcast handles names no window (kNoWindow). Nothing for every
// other argument.
std::optional<platform::WindowHandle> launcherSwitchValue(std::string_view argument);

// "/q" in any letter case, and nothing else.
bool isQuietSwitch(std::string_view argument);

class LauncherChannel {
  public:
    // `arguments` are the command-line arguments after the program name.
    LauncherChannel(platform::Messaging& messaging, LauncherState& state,
                    std::vector<std::string> arguments);

    // The installer window, sent along with every command.
    void setInstallerWindow(platform::WindowHandle window) { installerWindow_ = window; }

    // Scans the arguments; the first "/l=" argument sets the launcher window.
    void findLauncherWindow();
    void notifyLauncher(std::string_view text);
    // Delivers the record to the launcher and waits until it has handled it.
    // Looks for the launcher first while none is known. Its reply is only
    // traced.
    void sendToLauncher(const CommandRecord& record);
    // Posts the close notification to the launcher window, looking for it
    // first while none is known. Without a launcher the notification goes to
    // the installer's own queue, where nothing handles it.
    void postCloseToLauncher();
    // Sends "quiet installer" for every "/q" argument; true when there was one.
    bool announceQuietSwitches();

  private:
    platform::Messaging& messaging_;
    LauncherState& state_;
    std::vector<std::string> arguments_;
    platform::WindowHandle installerWindow_ = platform::kNoWindow;
};
