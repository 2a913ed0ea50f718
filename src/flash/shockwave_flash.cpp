#include "flash/shockwave_flash.h"

std::unique_ptr<TShockwaveFlash> TShockwaveFlash::create(platform::PlayerControls& controls,
                                                         platform::WindowHandle parent, int width,
                                                         int height) {
    std::unique_ptr<TShockwaveFlash> flash(new TShockwaveFlash);
    TShockwaveFlash* events = flash.get();
    platform::PlayerCreation created = controls.createInWindow(
        parent, width, height,
        [events](std::int32_t id, const std::vector<std::string>& arguments) {
            events->handleEvent(id, arguments);
        });
    if (!created.control)
        return nullptr;
    flash->control_ = std::move(created.control);
    flash->placed_ = created.placed;
    return flash;
}

void TShockwaveFlash::put(std::int32_t id, const platform::DispatchValue& value) {
    if (!control_->setProperty(id, value))
        throw EOleError("the player refused property " + std::to_string(id));
}

void TShockwaveFlash::call(const std::string& name,
                           const std::vector<platform::DispatchValue>& arguments) {
    if (!control_->callMethod(name, arguments))
        throw EOleError("the player refused " + name);
}

void TShockwaveFlash::setMovie(const std::string& path) {
    put(dispid::kMovie, path);
}
void TShockwaveFlash::setScaleMode(std::int32_t mode) {
    put(dispid::kScaleMode, mode);
}
void TShockwaveFlash::setWMode(const std::string& mode) {
    put(dispid::kWMode, mode);
}
void TShockwaveFlash::setMenu(bool shown) {
    put(dispid::kMenu, shown);
}
void TShockwaveFlash::Play() {
    call("Play", {});
}
void TShockwaveFlash::StopPlay() {
    call("StopPlay", {});
}

std::string TShockwaveFlash::GetVariable(const std::string& name) {
    const auto value = control_->getVariable(name);
    if (!value)
        throw EOleError("the player refused GetVariable");
    return *value;
}

void TShockwaveFlash::SetVariable(const std::string& name, const std::string& value) {
    call("SetVariable", {name, value});
}

void TShockwaveFlash::DoVerb(std::int32_t verb) {
    if (!control_->doVerb(verb))
        throw EOleError("the player refused verb " + std::to_string(verb));
}

void TShockwaveFlash::handleEvent(std::int32_t id, const std::vector<std::string>& arguments) {
    if (id != dispid::kOnFSCommand || !OnFSCommand)
        return;
    OnFSCommand(arguments.size() > 0 ? arguments[0] : std::string(),
                arguments.size() > 1 ? arguments[1] : std::string());
}
