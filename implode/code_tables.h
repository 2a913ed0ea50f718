// The three fixed code tables of the implode format, as code lengths, and everything the
// coder and decoder derive from them at compile time.
//
// Codes are canonical over (length, symbol) with every bit inverted, and go out first bit
// first into a stream that is filled from the least significant bit of each byte. Both
// sides therefore work with the bit-reversed code: the encoder writes it as a plain integer
// and the decoder indexes its tables with the next bits of the stream.
#pragma once

#include <array>
#include <cstdint>

namespace implode::tables {

inline constexpr unsigned kMinLength = 2;
inline constexpr unsigned kMaxLength = 518;
inline constexpr unsigned kEndLength = 519; // the length that ends a stream
inline constexpr unsigned kMaxLength2Distance = 256;

// Lengths of table L, symbols 0..15, with base length and extra bits of each symbol.
inline constexpr std::array<std::uint8_t, 16> kLengthCodeLengths{3, 2, 3, 3, 4, 4, 4, 5,
                                                                 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr std::array<std::uint16_t, 16> kLengthBase{2,  3,  4,  5,  6,  7,  8,   9,
                                                           10, 12, 16, 24, 40, 72, 136, 264};
inline constexpr std::array<std::uint8_t, 16> kLengthExtraBits{0, 0, 0, 0, 0, 0, 0, 0,
                                                               1, 2, 3, 4, 5, 6, 7, 8};

// Table Dist: 64 symbols, the high bits H of distance - 1.
inline constexpr std::array<std::uint8_t, 64> kDistanceCodeLengths = [] {
    std::array<std::uint8_t, 64> lengths{};
    for (unsigned h = 0; h < 64; ++h) {
        lengths[h] = h == 0 ? 2 : h < 3 ? 4 : h < 7 ? 5 : h < 22 ? 6 : h < 48 ? 7 : 8;
    }
    return lengths;
}();

// Table A: code lengths of the 256 literal bytes in ASCII mode.
inline constexpr std::array<std::uint8_t, 256> kAsciiCodeLengths = [] {
    constexpr std::uint8_t kLow[128] = {
        11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12, // 00
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12, // 10
        4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,  // 20
        7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11, // 30
        12, 6,  7,  6,  6,  5,  7,  8,  8,  6,  11, 9,  6,  7,  6,  6,  // 40
        7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,  // 50
        12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,  // 60
        6,  10, 5,  5,  5,  5,  8,  7,  8,  8,  10, 11, 11, 12, 12, 12, // 70
    };
    constexpr std::uint8_t kE0[32] = {
        13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13, // E0
        13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, // F0
    };
    std::array<std::uint8_t, 256> lengths{};
    for (unsigned i = 0; i < 256; ++i) {
        lengths[i] = i < 0x80 ? kLow[i] : i < 0xB0 ? 13 : i < 0xE0 ? 12 : kE0[i - 0xE0];
    }
    return lengths;
}();

template <std::size_t N> constexpr bool fillsCodeSpace(const std::array<std::uint8_t, N>& lengths) {
    std::uint32_t sum = 0;
    for (auto length : lengths) {
        sum += 1u << (16 - length);
    }
    return sum == 1u << 16;
}
static_assert(fillsCodeSpace(kLengthCodeLengths));
static_assert(fillsCodeSpace(kDistanceCodeLengths));
static_assert(fillsCodeSpace(kAsciiCodeLengths));

constexpr std::uint16_t reverseBits(std::uint16_t value, unsigned count) {
    std::uint16_t reversed = 0;
    for (unsigned i = 0; i < count; ++i) {
        reversed = static_cast<std::uint16_t>((reversed << 1) | ((value >> i) & 1u));
    }
    return reversed;
}

// The bit-reversed code of every symbol: ready to be written as a plain integer.
template <std::size_t N>
constexpr std::array<std::uint16_t, N> streamCodes(const std::array<std::uint8_t, N>& lengths) {
    std::array<std::uint16_t, N> codes{};
    unsigned code = 0;
    unsigned previousLength = 0;
    bool first = true;
    for (unsigned length = 1; length <= 16; ++length) {
        for (std::size_t symbol = 0; symbol < N; ++symbol) {
            if (lengths[symbol] != length) {
                continue;
            }
            if (first) {
                code = 0;
                first = false;
            } else {
                code = (code + 1) << (length - previousLength);
            }
            previousLength = length;
            const auto inverted = static_cast<std::uint16_t>(~code & ((1u << length) - 1));
            codes[symbol] = reverseBits(inverted, length);
        }
    }
    return codes;
}

inline constexpr auto kLengthCodes = streamCodes(kLengthCodeLengths);
inline constexpr auto kDistanceCodes = streamCodes(kDistanceCodeLengths);
inline constexpr auto kAsciiCodes = streamCodes(kAsciiCodeLengths);

// The first code of each table is all ones.
static_assert(kLengthCodes[1] == 0b11 && kDistanceCodes[0] == 0b11);
// Space is 1111, 'e' 11011, length 6 is 0101 and H = 1 is 1011 (stored reversed).
static_assert(kAsciiCodes[' '] == 0b1111 && kAsciiCodeLengths[' '] == 4);
static_assert(kAsciiCodes['e'] == 0b11011 && kAsciiCodeLengths['e'] == 5);
static_assert(kLengthCodes[4] == 0b1010 && kDistanceCodes[1] == 0b1101);

// ---- encoder side -------------------------------------------------------------------

// Flag bit, length code and extra bits of a copy of each length, as one plain integer.
struct LengthBits {
    std::uint32_t bits;
    std::uint8_t count;
};
inline constexpr std::array<LengthBits, kEndLength + 1> kCopyHeads = [] {
    std::array<LengthBits, kEndLength + 1> heads{};
    for (unsigned length = kMinLength; length <= kEndLength; ++length) {
        unsigned symbol = 15;
        while (kLengthBase[symbol] > length) {
            --symbol;
        }
        const unsigned codeLength = kLengthCodeLengths[symbol];
        const std::uint32_t extra = length - kLengthBase[symbol];
        heads[length].bits =
            1u | (std::uint32_t{kLengthCodes[symbol]} << 1) | (extra << (1 + codeLength));
        heads[length].count = static_cast<std::uint8_t>(1 + codeLength + kLengthExtraBits[symbol]);
    }
    return heads;
}();

// ---- decoder side -------------------------------------------------------------------

// Table L indexed by the next 7 bits.
inline constexpr unsigned kLengthTableBits = 7;
struct LengthEntry {
    std::uint16_t base;
    std::uint8_t extraBits;
    std::uint8_t codeLength;
};
inline constexpr std::array<LengthEntry, 1u << kLengthTableBits> kLengthDecode = [] {
    std::array<LengthEntry, 1u << kLengthTableBits> table{};
    for (unsigned symbol = 0; symbol < 16; ++symbol) {
        const unsigned length = kLengthCodeLengths[symbol];
        for (unsigned index = kLengthCodes[symbol]; index < table.size(); index += 1u << length) {
            table[index] = {kLengthBase[symbol], kLengthExtraBits[symbol],
                            static_cast<std::uint8_t>(length)};
        }
    }
    return table;
}();

// Table Dist indexed by the next 8 bits: H in the low byte, code length in the high byte.
inline constexpr unsigned kDistanceTableBits = 8;
inline constexpr std::array<std::uint16_t, 1u << kDistanceTableBits> kDistanceDecode = [] {
    std::array<std::uint16_t, 1u << kDistanceTableBits> table{};
    for (unsigned h = 0; h < 64; ++h) {
        const unsigned length = kDistanceCodeLengths[h];
        for (unsigned index = kDistanceCodes[h]; index < table.size(); index += 1u << length) {
            table[index] = static_cast<std::uint16_t>(h | (length << 8));
        }
    }
    return table;
}();

// Table A in two levels. The first is indexed by the next kAsciiFirstBits bits; an entry
// holds the byte in its low 8 bits and the code length above them, or, for the rare longer
// codes, kAsciiLink plus the offset of a second-level block indexed by the bits that follow.
inline constexpr unsigned kAsciiFirstBits = 9;
inline constexpr unsigned kAsciiMaxCodeLength = 13;
inline constexpr unsigned kAsciiSecondBits = kAsciiMaxCodeLength - kAsciiFirstBits;
inline constexpr std::uint16_t kAsciiLink = 0x8000;

constexpr unsigned countAsciiBlocks() {
    std::array<bool, 1u << kAsciiFirstBits> linked{};
    unsigned blocks = 0;
    for (unsigned symbol = 0; symbol < 256; ++symbol) {
        if (kAsciiCodeLengths[symbol] > kAsciiFirstBits) {
            const unsigned prefix = kAsciiCodes[symbol] & ((1u << kAsciiFirstBits) - 1);
            if (!linked[prefix]) {
                linked[prefix] = true;
                ++blocks;
            }
        }
    }
    return blocks;
}
inline constexpr unsigned kAsciiBlocks = countAsciiBlocks();
inline constexpr std::size_t kAsciiDecodeSize =
    (1u << kAsciiFirstBits) + kAsciiBlocks * (1u << kAsciiSecondBits);

inline constexpr std::array<std::uint16_t, kAsciiDecodeSize> kAsciiDecode = [] {
    std::array<std::uint16_t, kAsciiDecodeSize> table{};
    constexpr unsigned kFirstSize = 1u << kAsciiFirstBits;
    unsigned nextBlock = kFirstSize;
    for (unsigned symbol = 0; symbol < 256; ++symbol) {
        const unsigned length = kAsciiCodeLengths[symbol];
        const unsigned code = kAsciiCodes[symbol];
        const auto entry = static_cast<std::uint16_t>(symbol | (length << 8));
        if (length <= kAsciiFirstBits) {
            for (unsigned index = code; index < kFirstSize; index += 1u << length) {
                table[index] = entry;
            }
            continue;
        }
        const unsigned prefix = code & (kFirstSize - 1);
        if ((table[prefix] & kAsciiLink) == 0) {
            table[prefix] = static_cast<std::uint16_t>(kAsciiLink | nextBlock);
            nextBlock += 1u << kAsciiSecondBits;
        }
        const unsigned block = table[prefix] & ~kAsciiLink;
        const unsigned rest = code >> kAsciiFirstBits;
        const unsigned restLength = length - kAsciiFirstBits;
        for (unsigned index = rest; index < (1u << kAsciiSecondBits); index += 1u << restLength) {
            table[block + index] = entry;
        }
    }
    return table;
}();

// ---- combined decoder tables --------------------------------------------------------------

// The head of a copy (length code, extra bits, and the distance code when it fits), looked
// up by the kCopyHeadBits bits that follow the flag. An entry holds the bits it resolves
// from the flag on in bits 0..4, the length in bits 16..25 and, with kCopyHeadHasHigh, the
// distance's high bits H in bits 8..13; without it the distance code comes next. Heads that
// need more bits than the index has are kCopyHeadSlow: length 72 and up, and the end code.
inline constexpr unsigned kCopyHeadBits = 11;
inline constexpr std::uint32_t kCopyHeadHasHigh = 1u << 5;
inline constexpr std::uint32_t kCopyHeadSlow = 1u << 6;

inline constexpr std::array<std::uint32_t, 1u << kCopyHeadBits> kCopyHeadDecode = [] {
    std::array<std::uint32_t, 1u << kCopyHeadBits> table{};
    for (unsigned index = 0; index < table.size(); ++index) {
        const LengthEntry entry = kLengthDecode[index & ((1u << kLengthTableBits) - 1)];
        const unsigned lengthBits = entry.codeLength + entry.extraBits;
        if (lengthBits > kCopyHeadBits) {
            table[index] = kCopyHeadSlow;
            continue;
        }
        const unsigned length =
            entry.base + ((index >> entry.codeLength) & ((1u << entry.extraBits) - 1));
        std::uint32_t value = std::uint32_t{length} << 16;
        const unsigned distance = kDistanceDecode[(index >> lengthBits) & 0xFF];
        const unsigned distanceBits = distance >> 8;
        if (lengthBits + distanceBits <= kCopyHeadBits) {
            value |= kCopyHeadHasHigh | ((distance & 0xFF) << 8) | (1 + lengthBits + distanceBits);
        } else {
            value |= 1 + lengthBits;
        }
        table[index] = value;
    }
    return table;
}();

// ASCII literals looked up by the kLiteralPairBits bits that follow a literal's flag: one
// literal, or two when the second one's flag and code fit in the index as well. An entry
// holds the bytes in bits 0..15, the bits used from the first flag on in bits 16..23 and
// the count of literals in bits 24..31; a count of 0 marks a code longer than the index.
inline constexpr unsigned kLiteralPairBits = 11;

constexpr std::uint16_t asciiEntry(unsigned bits) {
    const std::uint16_t entry = kAsciiDecode[bits & ((1u << kAsciiFirstBits) - 1)];
    if ((entry & kAsciiLink) == 0) {
        return entry;
    }
    return kAsciiDecode[(entry & ~kAsciiLink) +
                        ((bits >> kAsciiFirstBits) & ((1u << kAsciiSecondBits) - 1))];
}

inline constexpr std::array<std::uint32_t, 1u << kLiteralPairBits> kLiteralPairDecode = [] {
    std::array<std::uint32_t, 1u << kLiteralPairBits> table{};
    for (unsigned index = 0; index < table.size(); ++index) {
        const unsigned first = asciiEntry(index);
        const unsigned firstBits = first >> 8;
        if (firstBits > kLiteralPairBits) {
            continue;
        }
        std::uint32_t value = (first & 0xFF) | ((1u + firstBits) << 16) | (1u << 24);
        const unsigned rest = index >> firstBits;
        const unsigned restBits = kLiteralPairBits - firstBits;
        if ((rest & 1) == 0) {
            const unsigned second = asciiEntry(rest >> 1);
            const unsigned secondBits = second >> 8;
            if (1 + secondBits <= restBits) {
                value = (first & 0xFF) | ((second & 0xFF) << 8) |
                        ((2u + firstBits + secondBits) << 16) | (2u << 24);
            }
        }
        table[index] = value;
    }
    return table;
}();

} // namespace implode::tables
