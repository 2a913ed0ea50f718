#include "system/saver_names.h"

#include <cstdio>
#include <initializer_list>

#include "base/texts.h"
#include "base/trace.h"
#include "system/crc32.h"
#include "system/path_names.h"

namespace {

bool containsAny(std::string_view title, std::initializer_list<std::string_view> words) {
    if (title.empty())
        return false;
    const std::string lowered = lowerAscii(title);
    for (std::string_view word : words) {
        if (lowered.find(lowerAscii(word)) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

std::string getCodedShortFilenameForScreensaver(platform::Platform& platform,
                                                std::string_view title) {
    trace("getCodedShortFilenameForScreensaver", title);
    if (title.size() <= kShortNameLimit)
        return std::string(title);
    const std::string lowered = platform.system.lowerCase(title);
    if (platform.system.compareText(title, lowered) == 0)
        return std::string(title);

    std::uint32_t crc = 0;
    crc32OfText(platform.ui, title, crc);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(crc % 10000));
    return std::string(title.substr(0, 4)) + digits;
}

bool isUsableSaverName(std::string_view shortName) {
    return isSafeFileName(shortName);
}

std::string makeDisplayName(const ResourceTexts& texts, std::string_view title) {
    if (containsAny(title, {"screen saver", "screensaver", "saver"}))
        return std::string(title);
    return std::string(title) + " " + std::string(texts.get(text::kScreenSaver));
}

std::string makeInstallCaption(const ResourceTexts& texts, std::string_view title) {
    const std::string install(texts.get(text::kInstall));
    const std::string_view screenSaver = texts.get(text::kScreenSaver);
    if (containsAny(title, {"screen saver", "screensaver", "saver", screenSaver}))
        return install + ": " + std::string(title);
    return install + " " + std::string(screenSaver) + ": " + std::string(title);
}
