// The preview panel: a child window of the installer window in which the
// preview movie plays. It reads the movie, refuses one that the installed
// player is too old for, and hosts one player control that plays it.
#pragma once

#include <memory>
#include <string>

#include "base/result_codes.h"
#include "flash/flash_version.h"
#include "flash/shockwave_flash.h"
#include "flash/swf_reader.h"
#include "platform/platform.h"
#include "platform/player_control.h"

constexpr int kMoviePlayerVersionAttempts = 1000;
constexpr int kPlayerCreationAttempts = 10000;
constexpr std::uint32_t kPanelColorWhite = 0x00FFFFFF;
constexpr std::uint32_t kPanelColorBlack = 0x00000000;

class TFlashPanel {
  public:
    // The panel in `window`: white, without bevel (outer bevel none, width
    // 1), filling its parent.
    TFlashPanel(platform::Platform& platform, PlayerVersionCache& playerVersionCache,
                std::unique_ptr<platform::PanelWindow> window);
    TFlashPanel(const TFlashPanel&) = delete;
    TFlashPanel& operator=(const TFlashPanel&) = delete;
    ~TFlashPanel();

    // Shows the movie at `path`: 0 when it plays (or the path is empty or
    // the current one), otherwise the reason it does not.
    ResultCode playMovie(const std::string& path);
    void refreshMovie();
    void closeMovie();

    ResultCode checkPlayerVersion();
    void stopMovie();
    ResultCode createFlashPlayer();
    void loadAndPlayMovie();
    void handleFSCommand(const std::string& command, const std::string& arguments);

    platform::PanelWindow& window() { return *window_; }

    std::string swfFilename;
    bool enableAllowScale = false;
    SwfMovieInfo movie;
    std::unique_ptr<TShockwaveFlash> flashPlayer;

  private:
    ResultCode readMovie();

    platform::Platform& platform_;
    PlayerVersionCache& playerVersionCache_;
    std::unique_ptr<platform::PanelWindow> window_;
};
