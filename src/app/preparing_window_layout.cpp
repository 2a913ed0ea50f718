#include "app/preparing_window_layout.h"

#include "base/texts.h"
#include "system/path_names.h"

namespace layout {

PreparingWindowLayout makePreparingWindow(NonClientSize frame, std::string_view executablePath,
                                          const ResourceTexts& texts) {
    PreparingWindowLayout window;
    window.frame = frame;
    setMessage(window, texts.get(text::kPreparingInstallation));
    window.title = fileNamePart(executablePath);
    return window;
}

Size outerSize(const PreparingWindowLayout& window) {
    return {window.client.width + window.frame.width, window.client.height + window.frame.height};
}

void setMessage(PreparingWindowLayout& window, std::string_view text) {
    window.Label1.caption = text;
}

void moveOffScreen(PreparingWindowLayout& window) {
    window.position = kOffScreenPosition;
}

void centerOnScreen(PreparingWindowLayout& window, int screenWidth, int screenHeight) {
    window.position = centredPosition(outerSize(window), screenWidth, screenHeight);
}

} // namespace layout
