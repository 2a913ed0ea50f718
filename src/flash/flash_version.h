// A Flash Player version as the installer uses it: the first and third of its
// four numbers (10,0,12,36 is major 10, revision 12).
#pragma once

#include <cstdint>

struct FlashVersion {
    std::int32_t major = 0;
    std::int32_t revision = 0;
};

// What a lookup found: `found` false with major 0 means no player.
struct FlashDetection {
    bool found = false;
    FlashVersion version;
};

// The version of the first player control that answered, kept for the whole
// run. Major -1 alone marks it as empty.
struct PlayerVersionCache {
    FlashVersion version{-1, -1};
    bool filled() const { return version.major != -1; }
};
