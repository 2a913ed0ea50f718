// Expanding implode streams.
//
// Everything lives in the caller's work area: input buffer, output window and the bit
// reader. The output window keeps the last 4096 bytes (the largest dictionary) in front
// of the bytes being produced. Once it holds 8192 bytes, the new half goes to the write
// callback and the last 4096 bytes move to the front. Bits come from a 64-bit buffer
// refilled a byte at a time (eight at once when enough input is buffered). Codes are
// resolved by lookups in tables computed at compile time (code_tables.h): one lookup
// yields one or two ASCII literals, or a copy's length with (most of the time) its
// distance code; the rare longer codes take a second lookup.
#include "code_tables.h"
#include "implode/implode.h"
#include "work_area.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

// GCC's straight-line vectorizer packs the decoder's bit count and input position into one
// vector register, which puts moves between register files on every token's path.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-slp-vectorize")
#endif

namespace implode {
namespace {

using namespace tables;

constexpr unsigned kHistory = 4096;
constexpr unsigned kFlushAt = 2 * kHistory;
// A decoding step starts below kFlushAt. It writes up to four literals, or up to
// kLiteralsBeforeCopy and then a copy; copies move 8 bytes at a time (at least 16 from 8
// or more bytes back) and may run up to 15 bytes past their end.
constexpr unsigned kLiteralsBeforeCopy = 3;
constexpr unsigned kCopyOverrun = 16;
constexpr unsigned kWindowSize = kFlushAt + kLiteralsBeforeCopy + kMaxLength + kCopyOverrun;
constexpr unsigned kInputSize = 3584;
// Flag, longest length code with its extra bits, longest distance code, 6 low bits.
constexpr unsigned kMaxTokenBits = 1 + 7 + 8 + 8 + 6;
// While input lasts, a refill leaves 56 to 63 bits in the buffer.
constexpr unsigned kRefillTarget = 56;

struct ExplodeState {
    std::uint64_t bits;
    unsigned bitCount;
    unsigned inPos;
    unsigned inEnd;
    bool inputEnded;
    unsigned outPos;
    unsigned flushedUpTo;
    unsigned dictBits;
    ImplodeReadFn readBuf;
    ImplodeWriteFn writeBuf;
    void* param;
    std::uint8_t input[kInputSize];
    std::uint8_t window[kWindowSize];
};
static_assert(detail::workAreaNeed<ExplodeState>() <= kExplodeWorkAreaSize);

enum class Step { more, end, truncated, badDistance };

// Reads the next piece of input into the input buffer; false at the end of input.
bool readMore(ExplodeState& s) {
    if (s.inputEnded) {
        return false;
    }
    unsigned int size = kInputSize;
    const unsigned int got = std::min<unsigned int>(
        s.readBuf(reinterpret_cast<char*>(s.input), &size, s.param), kInputSize);
    s.inPos = 0;
    s.inEnd = got;
    if (got == 0) {
        s.inputEnded = true;
        return false;
    }
    return true;
}

// The hot part of the state, copied out of the work area while tokens are decoded so that
// the compiler can keep it in registers (stores into the window could alias the work
// area), and copied back before anything that uses the work area's copy.
struct Cursor {
    std::uint64_t bits;
    unsigned bitCount;
    unsigned inPos;
    unsigned inEnd;
    unsigned outPos;

    explicit Cursor(const ExplodeState& s) { load(s); }
    void load(const ExplodeState& s) {
        bits = s.bits;
        bitCount = s.bitCount;
        inPos = s.inPos;
        inEnd = s.inEnd;
        outPos = s.outPos;
    }
    void store(ExplodeState& s) const {
        s.bits = bits;
        s.bitCount = bitCount;
        s.inPos = inPos;
        s.outPos = outPos;
    }
    void consume(unsigned count) {
        bits >>= count;
        bitCount -= count;
    }
};

// Tops the bit buffer up to 56..63 bits, reading more input when the buffer runs dry.
// Fewer bits are left only at the end of input.
void refillSlow(ExplodeState& s) {
    while (s.bitCount < kRefillTarget) {
        if (s.inPos == s.inEnd && !readMore(s)) {
            return;
        }
        s.bits |= std::uint64_t{s.input[s.inPos++]} << s.bitCount;
        s.bitCount += 8;
    }
}

// Eight bytes as a number, the first byte lowest.
inline std::uint64_t load64(const std::uint8_t* from) {
    std::uint64_t value;
    std::memcpy(&value, from, 8);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

inline void store64(std::uint8_t* to, std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    std::memcpy(to, &value, 8);
}

inline void refill(ExplodeState& s, Cursor& c) {
    if (c.inEnd - c.inPos >= 8) {
        c.bits |= load64(s.input + c.inPos) << c.bitCount;
        c.inPos += (63 - c.bitCount) >> 3;
        c.bitCount |= kRefillTarget;
        return;
    }
    c.store(s);
    refillSlow(s);
    c.load(s);
}

void flushOutput(ExplodeState& s) {
    unsigned int size = s.outPos - s.flushedUpTo;
    if (size != 0) {
        s.writeBuf(reinterpret_cast<char*>(s.window + s.flushedUpTo), &size, s.param);
    }
    s.flushedUpTo = s.outPos;
}

void slideWindow(ExplodeState& s) {
    flushOutput(s);
    std::memmove(s.window, s.window + s.outPos - kHistory, kHistory);
    s.outPos = kHistory;
    s.flushedUpTo = kHistory;
}

inline void copyMatch(std::uint8_t* dst, unsigned distance, unsigned length) {
    const std::uint8_t* src = dst - distance;
    if (distance >= 8) {
        // Pieces of 8 never overlap what they read; most copies take two.
        std::memcpy(dst, src, 8);
        std::memcpy(dst + 8, src + 8, 8);
        if (length > 16) {
            std::uint8_t* const end = dst + length;
            dst += 16;
            src += 16;
            do {
                std::memcpy(dst, src, 8);
                dst += 8;
                src += 8;
            } while (dst < end);
        }
        return;
    }
    // The copy repeats the last `distance` bytes: they are spread over a register, which
    // goes out 8 bytes at a time, its bytes turned to where the pattern stands at the
    // next 8 (shifted down by 8 mod distance and filled from a whole number of patterns
    // further down).
    static constexpr std::array<std::uint64_t, 8> kSpread{0,
                                                          0x0101010101010101,
                                                          0x0001000100010001,
                                                          0x0001000001000001,
                                                          0x0000000100000001,
                                                          0x0000010000000001,
                                                          0x0001000000000001,
                                                          0x0100000000000001};
    static constexpr std::array<std::uint8_t, 8> kShiftDown{0, 0, 0, 16, 0, 24, 16, 8};
    static constexpr std::array<std::uint8_t, 8> kShiftUp{0, 0, 0, 32, 0, 16, 32, 48};
    std::uint64_t pattern = load64(src);
    pattern = (pattern & ((std::uint64_t{1} << (8 * distance)) - 1)) * kSpread[distance];
    const unsigned down = kShiftDown[distance];
    const unsigned up = kShiftUp[distance];
    std::uint8_t* const end = dst + length;
    do {
        store64(dst, pattern);
        pattern = (pattern >> down) | (pattern << up);
        dst += 8;
    } while (dst < end);
}

// Decodes one token. Unchecked calls need kMaxTokenBits in the bit buffer; checked ones
// run near the end of input and fail on a token that needs more bits than are left.
template <bool kAscii, bool kChecked>
inline Step decodeToken(std::uint8_t* window, unsigned dictBits, Cursor& c) {
    const std::uint64_t bits = c.bits;
    if constexpr (!kAscii && !kChecked) {
        // Four literals in a row (flags at bits 0, 9, 18 and 27) go in one step.
        constexpr std::uint64_t kFourFlags = 1u | (1u << 9) | (1u << 18) | (1u << 27);
        if ((bits & kFourFlags) == 0 && c.bitCount >= 36) {
            std::uint8_t* const out = window + c.outPos;
            out[0] = static_cast<std::uint8_t>(bits >> 1);
            out[1] = static_cast<std::uint8_t>(bits >> 10);
            out[2] = static_cast<std::uint8_t>(bits >> 19);
            out[3] = static_cast<std::uint8_t>(bits >> 28);
            c.outPos += 4;
            c.consume(36);
            return Step::more;
        }
    }
    if ((bits & 1) == 0) {
        unsigned used;
        unsigned byte;
        if constexpr (kAscii) {
            unsigned entry = kAsciiDecode[(bits >> 1) & ((1u << kAsciiFirstBits) - 1)];
            if (entry & kAsciiLink) {
                entry = kAsciiDecode[(entry & ~kAsciiLink) + ((bits >> (1 + kAsciiFirstBits)) &
                                                              ((1u << kAsciiSecondBits) - 1))];
            }
            byte = entry & 0xFF;
            used = 1 + (entry >> 8);
        } else {
            byte = (bits >> 1) & 0xFF;
            used = 9;
        }
        if (kChecked && used > c.bitCount) {
            return Step::truncated;
        }
        c.consume(used);
        window[c.outPos++] = static_cast<std::uint8_t>(byte);
        return Step::more;
    }

    const LengthEntry lengthCode = kLengthDecode[(bits >> 1) & ((1u << kLengthTableBits) - 1)];
    unsigned used = 1 + lengthCode.codeLength;
    const unsigned length =
        lengthCode.base +
        static_cast<unsigned>((bits >> used) & ((1u << lengthCode.extraBits) - 1));
    used += lengthCode.extraBits;
    if (length == kEndLength) {
        if (kChecked && used > c.bitCount) {
            return Step::truncated;
        }
        c.consume(used);
        return Step::end;
    }
    const unsigned distanceCode = kDistanceDecode[(bits >> used) & 0xFF];
    used += distanceCode >> 8;
    const unsigned lowBits = length == 2 ? 2 : dictBits;
    const unsigned distance = (((distanceCode & 0xFF) << lowBits) |
                               static_cast<unsigned>((bits >> used) & ((1u << lowBits) - 1))) +
                              1;
    used += lowBits;
    if (kChecked && used > c.bitCount) {
        return Step::truncated;
    }
    c.consume(used);
    if (distance > c.outPos) {
        return Step::badDistance;
    }
    copyMatch(window + c.outPos, distance, length);
    c.outPos += length;
    return Step::more;
}

// Decodes a copy (its flag is the next bit) with one lookup for the length and, most of
// the time, the distance code. Needs kMaxTokenBits in the bit buffer.
template <bool kAscii> inline Step decodeCopy(std::uint8_t* window, unsigned dictBits, Cursor& c) {
    const std::uint64_t bits = c.bits;
    const std::uint32_t head = kCopyHeadDecode[(bits >> 1) & ((1u << kCopyHeadBits) - 1)];
    if (head & kCopyHeadSlow) [[unlikely]] {
        return decodeToken<kAscii, false>(window, dictBits, c);
    }
    unsigned used = head & 0x1F;
    const unsigned length = head >> 16;
    unsigned high;
    if (head & kCopyHeadHasHigh) [[likely]] {
        high = (head >> 8) & 0x3F;
    } else {
        const unsigned distanceCode = kDistanceDecode[(bits >> used) & 0xFF];
        used += distanceCode >> 8;
        high = distanceCode & 0xFF;
    }
    const unsigned lowBits = length == 2 ? 2 : dictBits;
    const unsigned distance =
        ((high << lowBits) | static_cast<unsigned>((bits >> used) & ((1u << lowBits) - 1))) + 1;
    c.consume(used + lowBits);
    if (distance > c.outPos) {
        return Step::badDistance;
    }
    copyMatch(window + c.outPos, distance, length);
    c.outPos += length;
    return Step::more;
}

// Decodes the next token like decodeToken<kAscii, false>, with the combined tables: one or
// two ASCII literals at once, binary literals in runs with the copy that ends them, and
// most copies with one lookup for their head.
template <bool kAscii> inline Step decodeFast(std::uint8_t* window, unsigned dictBits, Cursor& c) {
    const std::uint64_t bits = c.bits;
    if ((bits & 1) != 0) {
        return decodeCopy<kAscii>(window, dictBits, c);
    }
    std::uint8_t* const out = window + c.outPos;
    if constexpr (kAscii) {
        const std::uint32_t entry =
            kLiteralPairDecode[(bits >> 1) & ((1u << kLiteralPairBits) - 1)];
        if ((entry >> 24) == 0) [[unlikely]] {
            return decodeToken<kAscii, false>(window, dictBits, c);
        }
        out[0] = static_cast<std::uint8_t>(entry);
        out[1] = static_cast<std::uint8_t>(entry >> 8);
        c.outPos += entry >> 24;
        c.consume((entry >> 16) & 0xFF);
        return Step::more;
    } else {
        // Flags of four literals in a row would stand at bits 0, 9, 18 and 27. Four go in
        // one step; a shorter run goes with the copy that ends it. The first flag set is
        // also the number of bits the literals before it take.
        constexpr std::uint64_t kFourFlags = 1u | (1u << 9) | (1u << 18) | (1u << 27);
        const std::uint64_t flags = bits & kFourFlags;
        out[0] = static_cast<std::uint8_t>(bits >> 1);
        out[1] = static_cast<std::uint8_t>(bits >> 10);
        out[2] = static_cast<std::uint8_t>(bits >> 19);
        if (flags == 0) {
            if (c.bitCount < 36) {
                c.outPos += 1;
                c.consume(9);
                return Step::more;
            }
            out[3] = static_cast<std::uint8_t>(bits >> 28);
            c.outPos += 4;
            c.consume(36);
            return Step::more;
        }
        const auto runBits = static_cast<unsigned>(__builtin_ctzll(flags));
        c.outPos += runBits / 9;
        c.consume(runBits);
        if (c.bitCount < kMaxTokenBits) {
            return Step::more;
        }
        return decodeCopy<kAscii>(window, dictBits, c);
    }
}

template <bool kAscii> Step decodeStream(ExplodeState& s) {
    std::uint8_t* const window = s.window;
    const unsigned dictBits = s.dictBits;
    Cursor c(s);
    Step step = Step::more;
    while (step == Step::more) {
        if (c.outPos >= kFlushAt) {
            c.store(s);
            slideWindow(s);
            c.load(s);
        }
        refill(s, c);
        if (c.bitCount < kMaxTokenBits) {
            step = decodeToken<kAscii, true>(window, dictBits, c);
            continue;
        }
        if constexpr (kAscii) {
            do {
                step = decodeFast<kAscii>(window, dictBits, c);
            } while (step == Step::more && c.bitCount >= kMaxTokenBits && c.outPos < kFlushAt);
        } else {
            step = decodeFast<kAscii>(window, dictBits, c);
        }
    }
    c.store(s);
    return step;
}

// Pulls one header byte; false when the input ends first.
bool headerByte(ExplodeState& s, unsigned& byte) {
    if (s.inPos == s.inEnd && !readMore(s)) {
        return false;
    }
    byte = s.input[s.inPos++];
    return true;
}

} // namespace

unsigned int explode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, char* workArea, void* param) {
    ExplodeState& s = detail::placeState<ExplodeState>(workArea);
    s.bits = 0;
    s.bitCount = 0;
    s.inPos = 0;
    s.inEnd = 0;
    s.inputEnded = false;
    s.outPos = 0;
    s.flushedUpTo = 0;
    s.readBuf = readBuf;
    s.writeBuf = writeBuf;
    s.param = param;

    unsigned mode = 0;
    unsigned dictBits = 0;
    if (!headerByte(s, mode) || !headerByte(s, dictBits)) {
        return kResultTruncatedInput;
    }
    if (mode != kModeBinary && mode != kModeAscii) {
        return kResultInvalidMode;
    }
    if (dictBits < 4 || dictBits > 6) {
        return kResultInvalidDictionarySize;
    }
    s.dictBits = dictBits;

    const Step step = mode == kModeAscii ? decodeStream<true>(s) : decodeStream<false>(s);
    flushOutput(s);
    switch (step) {
    case Step::end:
        return kResultOk;
    case Step::badDistance:
        return kResultBadDistance;
    default:
        return kResultTruncatedInput;
    }
}

} // namespace implode
