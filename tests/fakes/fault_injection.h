// A countdown over every call through the seam, for sweeping faults through
// whole runs: the platform and the installer view are wrapped, each call is
// counted (and can be logged), and the call numbered N fails with an error
// that fits its kind, or raises instead.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/installer_view.h"
#include "fakes/fake_platform.h"
#include "platform/library_loader.h"
#include "platform/messaging.h"
#include "platform/player_control.h"
#include "platform/registry.h"

namespace fake {

enum class CallKind {
    File,
    System,
    Dialog,
    Pause,
    Library,
    Shell,
    Registry,
    Messaging,
    Player,
    View,
    Panel
};

// What a failing call raises when the countdown raises: any error the
// product may meet from below, as a std::exception.
struct InjectedFault : std::runtime_error {
    InjectedFault() : std::runtime_error("injected fault") {}
};

// Raised when a run makes more calls than any run can need: it is stuck in
// a loop. Not a std::exception, so nothing in the product catches it.
struct RunawayRun {};

class FaultCountdown {
  public:
    struct Call {
        CallKind kind;
        std::string what; // the operation and its path or name
    };

    int failAt = 0; // the call that fails, from 1; 0: none
    // A second call that fails the same way, after failAt, and again each
    // time the same operation on the same subject is repeated; 0: none.
    int failAgainAt = 0;
    bool raise = false; // the failing calls raise instead of answering an error
    int limit = 100000; // more calls than this: RunawayRun
    bool logCalls = false;
    std::vector<Call> calls;         // every call, when logging
    std::optional<Call> failed;      // the call that failed
    std::optional<Call> failedAgain; // the second call that failed

    // Counts a call; true when it must fail with an error. Raises
    // InjectedFault when it must raise.
    bool fails(CallKind kind, std::string_view operation, std::string_view subject = {});
    int count() const { return count_; }
    // The error of a failing file call: 5, 32, 112 and 2 in turn.
    platform::WinError fileError() const;

  private:
    int count_ = 0;
};

// The seam of a FakePlatform with every call counted by one countdown.
// Paths that a run changes (created, written, deleted, attributes set) are
// kept in `changedPaths`.
class FaultyPlatform {
  public:
    FaultyPlatform(FakePlatform& fakes, FaultCountdown& countdown);
    ~FaultyPlatform();
    FaultyPlatform(const FaultyPlatform&) = delete;
    FaultyPlatform& operator=(const FaultyPlatform&) = delete;

    platform::Platform platform();
    const std::vector<std::string>& changedPaths() const;

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// An installer view with every call counted. A failing call answers what
// the window answers when the system refuses it: nothing rendered or shown,
// zero sizes, no window, no timer, a panel whose window could not be made.
// The calls that cannot fail in the window (handing over the events, ending
// the message loop) fail only by raising. The movie panel's window calls are
// counted too.
class FaultyView final : public InstallerView {
  public:
    FaultyView(InstallerView& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}

    void setEvents(InstallerWindowEvents& events) override;
    layout::FrameSizes installerFrames() override;
    layout::NonClientSize preparingFrame() override;
    layout::Size screenSize() override;
    void renderPreparingWindow(const layout::PreparingWindowLayout& window) override;
    void renderInstallerWindow(const layout::InstallerFormLayout& form) override;
    void showInstallerWindow() override;
    void setApplicationTitle(const std::string& title) override;
    platform::WindowHandle installerWindow() override;
    bool loadPicture(const std::string& path, std::string& error) override;
    bool loadLicence(const std::string& path) override;
    std::unique_ptr<platform::PanelWindow> createMoviePanel() override;
    bool enablePauseTimer(std::uint32_t intervalMilliseconds) override;
    bool pauseTimerEnabled() const override;
    void showHourglass(bool shown) override;
    bool applicationActive() override;
    void terminate(std::int32_t exitCode) override;

  private:
    InstallerView& inner_;
    FaultCountdown& countdown_;
};

} // namespace fake
