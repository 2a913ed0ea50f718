#include "system/resource_texts.h"

#include <exception>

#include "base/trace.h"

ResourceTexts ResourceTexts::load(platform::SystemInfo& system) {
    ResourceTexts texts;
    for (const text::ResourceText& resource : text::kResourceTexts) {
        try {
            if (auto loaded = system.loadString(resource.id))
                texts.loaded_[resource.id] = std::move(*loaded);
        } catch (const std::exception& error) {
            // The text keeps its own wording.
            trace("loadString", error.what());
        }
    }
    return texts;
}

std::string_view ResourceTexts::get(const text::ResourceText& resource) const {
    const auto found = loaded_.find(resource.id);
    return found == loaded_.end() ? resource.text : std::string_view(found->second);
}
