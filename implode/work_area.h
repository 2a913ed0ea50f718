// Placing a state object inside a caller's work area, which has no particular alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace implode::detail {

// Room a state type needs in a work area of unknown alignment.
template <typename State> constexpr std::size_t workAreaNeed() {
    return sizeof(State) + alignof(State) - 1;
}

// Starts the lifetime of a State at the first suitably aligned byte of the area.
template <typename State> State& placeState(char* area) {
    static_assert(std::is_trivially_destructible_v<State>);
    const auto address = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t pad = (alignof(State) - address % alignof(State)) % alignof(State);
    return *new (area + pad) State;
}

} // namespace implode::detail
