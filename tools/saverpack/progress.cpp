#include "progress.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// An amount in the unit that suits `scale`: "512 bytes", "12.5 kB", "1.2 MB".
std::string amount(std::uint64_t bytes, std::uint64_t scale) {
    char text[32];
    if (scale >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else if (scale >= 1024)
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(bytes));
    return text;
}

const char* unit(std::uint64_t scale) {
    return scale >= 1024 * 1024 ? " MB" : scale >= 1024 ? " kB" : " bytes";
}

} // namespace

void TerminalProgress::begin(const std::string& stage, std::uint64_t items, std::uint64_t bytes) {
    stage_ = stage;
    items_ = items;
    bytes_ = bytes;
    itemsDone_ = 0;
    bytesDone_ = 0;
    draw();
}

void TerminalProgress::advance(std::uint64_t bytes) {
    itemsDone_ = std::min(itemsDone_ + 1, items_);
    bytesDone_ = std::min(bytesDone_ + bytes, bytes_);
    draw();
}

void TerminalProgress::draw() {
    const std::uint64_t percent = bytes_ != 0   ? bytesDone_ * 100 / bytes_
                                  : items_ != 0 ? itemsDone_ * 100 / items_
                                                : 100;
    show(stage_ + ": " + std::to_string(itemsDone_) + "/" + std::to_string(items_) + ", " +
         amount(bytesDone_, bytes_) + " of " + amount(bytes_, bytes_) + unit(bytes_) + " (" +
         std::to_string(percent) + "%)");
}

void TerminalProgress::end() {
    if (shown_ == 0)
        return;
    out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
    shown_ = 0;
}

void TerminalProgress::show(const std::string& line) {
    // Blanks cover what is left of a longer line before it.
    out_ << '\r' << line << std::string(shown_ > line.size() ? shown_ - line.size() : 0, ' ')
         << std::flush;
    shown_ = std::max(shown_, line.size());
}

ProgressSink& noProgress() {
    static SilentProgress silent; // holds nothing
    return silent;
}

bool standardErrorIsTerminal() {
#if defined(_WIN32)
    // A console only: _isatty also says yes for the NUL device.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}
