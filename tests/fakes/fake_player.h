// A player control for the unit tests: missing, appearing after a number of
// creation attempts (as after an installer ran), answering "$version" with a
// chosen text, or failing inside GetVariable. It counts what was asked of it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/player_control.h"

namespace fake {

class FakePlayerControls final : public platform::PlayerControls {
  public:
    // Creation fails until this many attempts have been made in all; 0 makes
    // every attempt succeed, nothing makes every attempt fail.
    std::optional<int> createsFromAttempt;
    std::string versionAnswer = "WIN 10,0,12,36";
    bool getVariableFails = false;

    int creationAttempts = 0;
    int liveInstances = 0;
    std::vector<std::string> variablesAsked;

    void install(const std::string& version) {
        createsFromAttempt = creationAttempts + 1;
        versionAnswer = version;
    }
    // The control becomes creatable at the `attempts`-th attempt from now.
    void installAfter(int attempts) { createsFromAttempt = creationAttempts + attempts; }

    std::unique_ptr<platform::PlayerControl> create() override;
};

} // namespace fake
