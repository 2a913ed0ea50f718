#include "app/window_geometry.h"

#include <ostream>
#include <sstream>

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

} // namespace layout
