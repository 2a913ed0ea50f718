#include "fakes/fake_player.h"

#include <type_traits>

namespace fake {

namespace {

std::string text(const platform::DispatchValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>)
                return v ? "true" : "false";
            else if constexpr (std::is_same_v<T, std::string>)
                return v;
            else
                return std::to_string(v);
        },
        value);
}

class FakePlayerControl final : public platform::PlayerControl {
  public:
    FakePlayerControl(FakePlayerControls& owner, std::shared_ptr<FakePlayerControls::Record> record)
        : owner_(owner), record_(std::move(record)) {
        ++owner_.liveInstances;
    }
    FakePlayerControl(const FakePlayerControl&) = delete;
    FakePlayerControl& operator=(const FakePlayerControl&) = delete;
    ~FakePlayerControl() override {
        --owner_.liveInstances;
        record_->released = true;
        record_->onEvent = nullptr;
    }

    std::optional<std::string> getVariable(const std::string& name) override {
        owner_.variablesAsked.push_back(name);
        record_->calls.push_back("call GetVariable " + name);
        if (owner_.getVariableFails)
            return std::nullopt;
        return name == "$version" ? owner_.versionAnswer : std::string();
    }

    bool setProperty(std::int32_t dispatchId, const platform::DispatchValue& value) override {
        record_->calls.push_back("prop " + std::to_string(dispatchId) + "=" + text(value));
        if (owner_.failingProperties.count(dispatchId))
            return false;
        record_->properties[dispatchId] = value;
        return true;
    }

    bool callMethod(const std::string& name,
                    const std::vector<platform::DispatchValue>& arguments) override {
        std::string call = "call " + name;
        for (const auto& argument : arguments)
            call += " " + text(argument);
        record_->calls.push_back(call);
        return owner_.failingMethods.count(name) == 0;
    }

    bool doVerb(std::int32_t verb) override {
        record_->calls.push_back("verb " + std::to_string(verb));
        return owner_.failingVerbs.count(verb) == 0;
    }

  private:
    FakePlayerControls& owner_;
    std::shared_ptr<FakePlayerControls::Record> record_;
};

} // namespace

void FakePlayerControls::raise(std::int32_t dispatchId, const std::vector<std::string>& arguments) {
    for (auto it = instances.rbegin(); it != instances.rend(); ++it) {
        if ((*it)->placed && !(*it)->released && (*it)->onEvent) {
            (*it)->onEvent(dispatchId, arguments);
            return;
        }
    }
}

std::unique_ptr<platform::PlayerControl> FakePlayerControls::make(std::shared_ptr<Record> record) {
    ++creationAttempts;
    if (!createsFromAttempt || creationAttempts < *createsFromAttempt)
        return nullptr;
    instances.push_back(record);
    return std::make_unique<FakePlayerControl>(*this, std::move(record));
}

std::unique_ptr<platform::PlayerControl> FakePlayerControls::create() {
    return make(std::make_shared<Record>());
}

platform::PlayerCreation FakePlayerControls::createInWindow(platform::WindowHandle parent,
                                                            int width, int height,
                                                            platform::PlayerEventHandler onEvent) {
    auto record = std::make_shared<Record>();
    record->placed = !placementFails;
    if (record->placed) {
        record->parent = parent;
        record->width = width;
        record->height = height;
        record->onEvent = std::move(onEvent);
    }
    const bool placed = record->placed;
    platform::PlayerCreation created{make(std::move(record)), false};
    created.placed = created.control && placed;
    return created;
}

} // namespace fake
