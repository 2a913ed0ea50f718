// A progress view that records what it was told. Its pause timer runs on the
// fake user interface's message queue.
#pragma once

#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "system/install_reporting.h"

namespace fake {

class RecordingView final : public ProgressView {
  public:
    explicit RecordingView(FakeUserInterface& ui) : ui_(ui) {}

    std::vector<std::string> statusTexts;
    bool statusVisible = false;
    int progress = 0;
    std::vector<std::uint32_t> pauseIntervals;

    void showStatusText(const std::string& text) override {
        statusVisible = true;
        statusTexts.push_back(text);
    }
    void advanceProgressBar() override { ++progress; }
    bool enablePauseTimer(std::uint32_t intervalMilliseconds) override {
        pauseIntervals.push_back(intervalMilliseconds);
        timerEnabled_ = ui_.armTimer([this] { timerEnabled_ = false; });
        return timerEnabled_;
    }
    bool pauseTimerEnabled() const override { return timerEnabled_; }

  private:
    FakeUserInterface& ui_;
    bool timerEnabled_ = false;
};

} // namespace fake
