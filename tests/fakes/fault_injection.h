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

enum class CallKind { File, System, Dialog, Pause, Library, Shell, Registry, Messaging, Player };

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

    int failAt = 0;     // the call that fails, from 1; 0: none
    bool raise = false; // the failing call raises instead of answering an error
    int limit = 100000; // more calls than this: RunawayRun
    bool logCalls = false;
    std::vector<Call> calls;    // every call, when logging
    std::optional<Call> failed; // the call that failed

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

// An installer view whose loading, pause timer and panel are counted too.
class FaultyView final : public InstallerView {
  public:
    FaultyView(InstallerView& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}

    void setEvents(InstallerWindowEvents& events) override { inner_.setEvents(events); }
    layout::FrameSizes installerFrames() override { return inner_.installerFrames(); }
    layout::NonClientSize preparingFrame() override { return inner_.preparingFrame(); }
    layout::Size screenSize() override { return inner_.screenSize(); }
    void renderPreparingWindow(const layout::PreparingWindowLayout& window) override {
        inner_.renderPreparingWindow(window);
    }
    void renderInstallerWindow(const layout::InstallerFormLayout& form) override {
        inner_.renderInstallerWindow(form);
    }
    void showInstallerWindow() override { inner_.showInstallerWindow(); }
    void setApplicationTitle(const std::string& title) override {
        inner_.setApplicationTitle(title);
    }
    platform::WindowHandle installerWindow() override { return inner_.installerWindow(); }
    bool loadPicture(const std::string& path, std::string& error) override;
    bool loadLicence(const std::string& path) override;
    std::unique_ptr<platform::PanelWindow> createMoviePanel() override {
        return inner_.createMoviePanel();
    }
    bool enablePauseTimer(std::uint32_t intervalMilliseconds) override;
    bool pauseTimerEnabled() const override { return inner_.pauseTimerEnabled(); }
    void showHourglass(bool shown) override { inner_.showHourglass(shown); }
    bool applicationActive() override { return inner_.applicationActive(); }
    void terminate(std::int32_t exitCode) override { inner_.terminate(exitCode); }

  private:
    InstallerView& inner_;
    FaultCountdown& countdown_;
};

} // namespace fake
