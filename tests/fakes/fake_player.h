// A player control for the unit tests: missing, appearing after a number of
// creation attempts (as after an installer ran), answering "$version" with a
// chosen text, or failing inside GetVariable, a property, a method or a verb.
// Every instance keeps a record of what was asked of it, also after its
// release, and a placed one can raise events as the real control would.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/player_control.h"

namespace fake {

class FakePlayerControls final : public platform::PlayerControls {
  public:
    struct Record {
        bool placed = false; // made for a window and placed in it
        platform::WindowHandle parent = platform::kNoWindow;
        int width = 0;
        int height = 0;
        bool released = false;
        // In the order asked: "prop 120=0", "call Play", "verb -3", ...
        std::vector<std::string> calls;
        std::map<std::int32_t, platform::DispatchValue> properties;
        platform::PlayerEventHandler onEvent;
    };

    // Creation fails until this many attempts have been made in all; 0 makes
    // every attempt succeed, nothing makes every attempt fail.
    std::optional<int> createsFromAttempt;
    // Instances made for a window are created but cannot be placed there.
    bool placementFails = false;
    std::string versionAnswer = "WIN 10,0,12,36";
    bool getVariableFails = false;
    std::set<std::int32_t> failingProperties;
    std::set<std::string> failingMethods;
    std::set<std::int32_t> failingVerbs;

    int creationAttempts = 0;
    int liveInstances = 0;
    std::vector<std::string> variablesAsked;
    std::vector<std::shared_ptr<Record>> instances;

    void install(const std::string& version) {
        createsFromAttempt = creationAttempts + 1;
        versionAnswer = version;
    }
    // The control becomes creatable at the `attempts`-th attempt from now.
    void installAfter(int attempts) { createsFromAttempt = creationAttempts + attempts; }
    // The newest placed instance that is still alive raises an event.
    void raise(std::int32_t dispatchId, const std::vector<std::string>& arguments);

    std::unique_ptr<platform::PlayerControl> create() override;
    platform::PlayerCreation createInWindow(platform::WindowHandle parent, int width, int height,
                                            platform::PlayerEventHandler onEvent) override;

  private:
    std::unique_ptr<platform::PlayerControl> make(std::shared_ptr<Record> record);
};

// A panel window that records what was done to it.
class FakePanelWindow final : public platform::PanelWindow {
  public:
    platform::WindowHandle window = 0x2A2A;
    int panelWidth = 400;
    int panelHeight = 300;
    bool shown = true;
    std::uint32_t color = 0x00C0C0C0;
    platform::PanelBevel outerBevel = platform::PanelBevel::Raised;
    int bevelWidth = 1;
    bool fillsParent = false;
    int invalidations = 0;

    platform::WindowHandle handle() override { return window; }
    int width() override { return panelWidth; }
    int height() override { return panelHeight; }
    bool visible() override { return shown; }
    void setSize(int width, int height) override {
        panelWidth = width;
        panelHeight = height;
    }
    void setColor(std::uint32_t newColor) override { color = newColor; }
    void fillParent() override { fillsParent = true; }
    void setOuterBevel(platform::PanelBevel bevel) override { outerBevel = bevel; }
    void setBevelWidth(int width) override { bevelWidth = width; }
    void invalidate() override { ++invalidations; }
};

} // namespace fake
