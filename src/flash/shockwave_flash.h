// A thin wrapper over the player control's dispatch interface: its
// properties by their dispatch identifiers, its methods by name, its OLE
// verbs and its events. It carries no logic of its own; a call that the
// control refuses raises EOleError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/player_control.h"

class EOleError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace dispid {
constexpr std::int32_t kMovie = 102;
constexpr std::int32_t kScaleMode = 120;
constexpr std::int32_t kWMode = 133;
constexpr std::int32_t kMenu = 135;
// Events.
constexpr std::int32_t kOnFSCommand = 150;
constexpr std::int32_t kOnFlashCall = 197;
constexpr std::int32_t kOnProgress = 1958;
constexpr std::int32_t kOnReadyStateChange = -609;
} // namespace dispid

class TShockwaveFlash {
  public:
    using FSCommandHandler =
        std::function<void(const std::string& command, const std::string& args)>;

    // A control placed in `parent` at its top left corner with the given
    // size; nothing when no instance can be created. An instance that could
    // not be placed there is handed out too (see placed).
    static std::unique_ptr<TShockwaveFlash> create(platform::PlayerControls& controls,
                                                   platform::WindowHandle parent, int width,
                                                   int height);
    TShockwaveFlash(const TShockwaveFlash&) = delete;
    TShockwaveFlash& operator=(const TShockwaveFlash&) = delete;

    void setMovie(const std::string& path);
    void setScaleMode(std::int32_t mode);
    void setWMode(const std::string& mode);
    void setMenu(bool shown);
    void Play();
    void StopPlay();
    std::string GetVariable(const std::string& name);
    void SetVariable(const std::string& name, const std::string& value);
    void DoVerb(std::int32_t verb);

    // Whether the instance is a child window of the parent it was made for.
    bool placed() const { return placed_; }

    FSCommandHandler OnFSCommand;

  private:
    TShockwaveFlash() = default;
    void put(std::int32_t id, const platform::DispatchValue& value);
    void call(const std::string& name, const std::vector<platform::DispatchValue>& arguments);
    // FSCommand goes to its handler; ReadyStateChange, Progress, FlashCall
    // and anything else are accepted and ignored.
    void handleEvent(std::int32_t id, const std::vector<std::string>& arguments);

    std::unique_ptr<platform::PlayerControl> control_;
    bool placed_ = false;
};
