// A small Flash movie for tests on any platform: 550 by 400 pixels, one
// frame, a background colour and an End tag, stored plain ("FWS") or
// compressed with zlib ("CWS").
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

struct MovieColour {
    std::uint8_t red = 0x33;
    std::uint8_t green = 0x99;
    std::uint8_t blue = 0xCC;
};

inline std::string sampleMovie(std::uint8_t version, bool compressed, MovieColour colour = {}) {
    // Frame rectangle, 65 bits in 9 bytes: Nbits 15, then Xmin 0, Xmax 11000,
    // Ymin 0 and Ymax 8000 twips.
    std::string body(9, '\0');
    const std::uint64_t rect = 15ull << 59 | 11000ull << 29 | 8000ull >> 1;
    for (int i = 0; i < 8; ++i)
        body[i] = static_cast<char>(rect >> (56 - 8 * i));
    body += std::string("\x00\x18\x01\x00", 4); // frame rate, frame count
    body += std::string("\x43\x02", 2);         // SetBackgroundColor (9, 3 bytes)
    body += static_cast<char>(colour.red);
    body += static_cast<char>(colour.green);
    body += static_cast<char>(colour.blue);
    body += std::string("\x00\x00", 2); // End
    const auto length = static_cast<std::uint32_t>(8 + body.size());
    std::string header = compressed ? "CWS" : "FWS";
    header += static_cast<char>(version);
    for (int i = 0; i < 4; ++i)
        header += static_cast<char>(length >> (8 * i));
    if (!compressed)
        return header + body;
    uLongf size = compressBound(body.size());
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
              reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
    packed.resize(size);
    return header + packed;
}
