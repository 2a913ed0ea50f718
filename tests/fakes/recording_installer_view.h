// The two installer windows for the unit tests: the data they were last
// rendered with, what was loaded into them, and the end of the application.
// The pause timer runs on the fake user interface's message queue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/installer_view.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_player.h"

namespace fake {

class RecordingInstallerView final : public InstallerView {
  public:
    explicit RecordingInstallerView(FakeUserInterface& ui) : ui_(ui) {}

    layout::FrameSizes frames{{6, 25}, {8, 27}};
    layout::NonClientSize preparingFrameSize{6, 25};
    layout::Size screen{1024, 768};
    bool licenceReadable = true;
    std::optional<std::string> pictureError; // set: the picture cannot be decoded
    bool active = true;

    std::optional<layout::InstallerFormLayout> form;
    std::optional<layout::PreparingWindowLayout> preparing;
    std::vector<std::string> preparingMessages; // every new label text, in order
    bool shown = false;
    std::vector<std::string> applicationTitles; // every title given, in order
    std::vector<std::string> picturesLoaded;
    std::vector<std::string> licencesLoaded;
    FakePanelWindow* moviePanel = nullptr;
    std::optional<std::int32_t> terminatedWith;
    InstallerWindowEvents* events = nullptr;

    void setEvents(InstallerWindowEvents& handlers) override { events = &handlers; }
    layout::FrameSizes installerFrames() override { return frames; }
    layout::NonClientSize preparingFrame() override { return preparingFrameSize; }
    layout::Size screenSize() override { return screen; }
    void renderPreparingWindow(const layout::PreparingWindowLayout& window) override {
        if (preparingMessages.empty() || preparingMessages.back() != window.Label1.caption)
            preparingMessages.push_back(window.Label1.caption);
        preparing = window;
    }
    void renderInstallerWindow(const layout::InstallerFormLayout& data) override { form = data; }
    void showInstallerWindow() override { shown = true; }
    void setApplicationTitle(const std::string& title) override {
        applicationTitles.push_back(title);
    }
    platform::WindowHandle installerWindow() override { return 0x1234; }
    bool loadPicture(const std::string& path, std::string& error) override {
        picturesLoaded.push_back(path);
        if (pictureError)
            error = *pictureError;
        return !pictureError;
    }
    bool loadLicence(const std::string& path) override {
        licencesLoaded.push_back(path);
        return licenceReadable;
    }
    std::unique_ptr<platform::PanelWindow> createMoviePanel() override {
        auto panel = std::make_unique<FakePanelWindow>();
        moviePanel = panel.get();
        return panel;
    }
    bool enablePauseTimer(std::uint32_t) override {
        timerEnabled_ = ui_.armTimer([this] {
            timerEnabled_ = false;
            if (events)
                events->pauseTimerTimer();
        });
        return timerEnabled_;
    }
    bool pauseTimerEnabled() const override { return timerEnabled_; }
    void showHourglass(bool) override {}
    bool applicationActive() override { return active; }
    void terminate(std::int32_t exitCode) override { terminatedWith = exitCode; }

  private:
    FakeUserInterface& ui_;
    bool timerEnabled_ = false;
};

} // namespace fake
