// The windows' data as text, for test failures and traces. Kept out of the
// program itself: the stream classes would add most of a megabyte to an image
// that must stay below 698368 bytes.
#include <ostream>
#include <sstream>

#include "app/installer_layout.h"
#include "app/preparing_window_layout.h"
#include "app/window_geometry.h"

namespace layout {

std::string describe(const ControlState& control) {
    std::ostringstream line;
    line << control.bounds << (control.visible ? " visible" : " hidden")
         << (control.enabled ? " enabled" : " disabled") << " \"" << control.caption << '"';
    return line.str();
}

std::ostream& operator<<(std::ostream& out, Size size) {
    return out << size.width << 'x' << size.height;
}

std::ostream& operator<<(std::ostream& out, Position position) {
    return out << position.left << ',' << position.top;
}

std::ostream& operator<<(std::ostream& out, const Bounds& bounds) {
    return out << bounds.left << ',' << bounds.top << ' ' << bounds.width << 'x' << bounds.height;
}

namespace {

const char* borderName(BorderStyle border) {
    return border == BorderStyle::fixed ? "fixed" : "sizeable";
}

} // namespace

std::string describe(const InstallerFormLayout& form) {
    std::ostringstream text;
    const SizeLimits& limits = form.limits;
    text << "window " << form.position << " outer " << form.outer << " client " << form.client
         << ' ' << borderName(form.border) << " (frames fixed " << form.frames.fixed.width << 'x'
         << form.frames.fixed.height << " sizeable " << form.frames.sizeable.width << 'x'
         << form.frames.sizeable.height << ") limits width " << limits.minWidth << ".."
         << limits.maxWidth << " height " << limits.minHeight << ".." << limits.maxHeight
         << (form.stayOnTop ? " on top" : "") << " caption \"" << form.caption << "\"\n";
    for (int i = 0; i < kControlCount; ++i) {
        const auto which = static_cast<Control>(i);
        text << controlName(which) << ' ' << describe(control(form, which)) << '\n';
    }
    text << "progress " << form.progress.minimum << ".." << form.progress.maximum << " at "
         << form.progress.position << " step " << form.progress.step << "\nfocus "
         << (form.focus ? controlName(*form.focus) : "none") << '\n';
    return text.str();
}

std::ostream& operator<<(std::ostream& out, const InstallerFormLayout& form) {
    return out << '\n' << describe(form);
}

std::string describe(const PreparingWindowLayout& window) {
    std::ostringstream text;
    text << "window " << window.position << " outer " << outerSize(window) << " client "
         << window.client << (window.border == BorderStyle::fixed ? " fixed" : " sizeable")
         << (window.visible ? " visible" : " hidden") << " title \"" << window.title << "\"\n"
         << "Label1 " << describe(window.Label1) << '\n';
    return text.str();
}

std::ostream& operator<<(std::ostream& out, const PreparingWindowLayout& window) {
    return out << '\n' << describe(window);
}

} // namespace layout
