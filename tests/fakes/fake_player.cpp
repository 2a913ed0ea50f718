#include "fakes/fake_player.h"

namespace fake {

namespace {

class FakePlayerControl final : public platform::PlayerControl {
  public:
    explicit FakePlayerControl(FakePlayerControls& owner) : owner_(owner) {
        ++owner_.liveInstances;
    }
    FakePlayerControl(const FakePlayerControl&) = delete;
    FakePlayerControl& operator=(const FakePlayerControl&) = delete;
    ~FakePlayerControl() override { --owner_.liveInstances; }

    std::optional<std::string> getVariable(const std::string& name) override {
        owner_.variablesAsked.push_back(name);
        if (owner_.getVariableFails)
            return std::nullopt;
        return name == "$version" ? owner_.versionAnswer : std::string();
    }

  private:
    FakePlayerControls& owner_;
};

} // namespace

std::unique_ptr<platform::PlayerControl> FakePlayerControls::create() {
    ++creationAttempts;
    if (!createsFromAttempt || creationAttempts < *createsFromAttempt)
        return nullptr;
    return std::make_unique<FakePlayerControl>(*this);
}

} // namespace fake
