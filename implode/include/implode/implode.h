// The implode library: PKWARE DCL "implode" streams, compressed and expanded.
//
// Two layers:
//  - the classic C-callable entry points (explode, implode, crc32) that pull input
//    through a read callback, push output through a write callback and keep all of
//    their state in a work area the caller supplies;
//  - a small C++ layer on top that owns its memory, offers the slower optimal parse,
//    and works on buffers in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#if defined(_WIN32) && defined(__i386__)
#define IMPLODE_CDECL __cdecl
#else
#define IMPLODE_CDECL
#endif

extern "C" {
// Fills buf with up to *size bytes; returns how many it placed, 0 at the end of input.
typedef unsigned int(IMPLODE_CDECL* ImplodeReadFn)(char* buf, unsigned int* size, void* param);
// Takes *size bytes from buf.
typedef void(IMPLODE_CDECL* ImplodeWriteFn)(char* buf, unsigned int* size, void* param);
}

namespace implode {

// Result codes of every operation.
inline constexpr unsigned int kResultOk = 0;
// Header byte 1 (or the dictionary size asked of the compressor) is not 4/5/6 (1024/2048/4096).
inline constexpr unsigned int kResultInvalidDictionarySize = 1;
// Header byte 0 (or the literal mode asked of the compressor) is neither binary nor ASCII.
inline constexpr unsigned int kResultInvalidMode = 2;
// A copy reaches before the first output byte. Every bit string decodes to some token, so
// this is the only fault inside a stream that can be seen besides truncation.
inline constexpr unsigned int kResultBadDistance = 3;
// The input ended before the end-of-stream code (or inside the header).
inline constexpr unsigned int kResultTruncatedInput = 4;

// Literal modes (header byte 0, the `type` argument of implode).
inline constexpr unsigned int kModeBinary = 0;
inline constexpr unsigned int kModeAscii = 1;

// Dictionary (window) sizes the format knows.
inline constexpr unsigned int kDictionary1K = 1024;
inline constexpr unsigned int kDictionary2K = 2048;
inline constexpr unsigned int kDictionary4K = 4096;

// Work area of explode: the size the DCL has always asked callers for. Any alignment.
inline constexpr std::size_t kExplodeWorkAreaSize = 12596;
// Work area of implode (fast parse): the classic DCL size as well. Any alignment.
inline constexpr std::size_t kImplodeWorkAreaSize = 36312;

// Expands one stream. Reads until the end code or the end of input; writes the output in
// order, in pieces. On a fault the bytes decoded before it have been written.
unsigned int explode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, char* workArea, void* param);

// Compresses everything the read callback delivers into one stream (fast parse).
// type: kModeBinary or kModeAscii; dictSize: 1024, 2048 or 4096.
unsigned int implode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, char* workArea, void* param,
                     unsigned int type, unsigned int dictSize);

// Reflected CRC-32 (polynomial 0xEDB88320) of size bytes, continuing from crc. The caller
// does the usual inversion before the first and after the last piece.
std::uint32_t crc32(const void* buffer, std::size_t size, std::uint32_t crc);

enum class Parse {
    fast, // hash chains, lazy evaluation; runs in the classic work area
    best, // shortest stream over the fixed codes (dynamic programming on bit costs)
};

struct ImplodeSettings {
    unsigned int mode = kModeBinary;
    unsigned int dictSize = kDictionary4K;
    Parse parse = Parse::fast;
};

// Compresses through callbacks with memory of its own.
unsigned int implodeStream(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, void* param,
                           const ImplodeSettings& settings);

struct Imploded {
    unsigned int result = kResultOk;
    std::vector<std::uint8_t> stream;
};
Imploded implodeBuffer(std::span<const std::uint8_t> data, const ImplodeSettings& settings);

struct Exploded {
    unsigned int result = kResultOk;
    std::vector<std::uint8_t> data; // everything written, also when result is a fault
};
Exploded explodeBuffer(std::span<const std::uint8_t> stream);

} // namespace implode
