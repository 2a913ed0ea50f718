// The resource texts as the program's string table has them: read once, when
// the installer starts, and handed to whatever shows one. A text the table
// lacks keeps the wording of texts.h.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "base/texts.h"
#include "platform/platform.h"

class ResourceTexts {
  public:
    // The wording of texts.h, as a program without a string table shows it.
    ResourceTexts() = default;
    // Every text of text::kResourceTexts from the program's string table.
    static ResourceTexts load(platform::SystemInfo& system);

    // The table's text, or the wording of texts.h when the table has none.
    std::string_view get(const text::ResourceText& resource) const;

  private:
    std::map<unsigned, std::string> loaded_;
};
