// Writing tokens of an implode stream, and what each token costs in bits.
#pragma once

#include "code_tables.h"
#include "implode/implode.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace implode::detail {

// Collects bits from the least significant end into a byte buffer and hands the buffer to
// the write callback whenever it holds flushAt bytes or more. The buffer needs flushAt + 8
// bytes of room. Plain struct: it lives inside a work area.
struct BitWriter {
    std::uint64_t pending;
    unsigned pendingBits;
    unsigned used;
    unsigned flushAt;
    std::uint8_t* buffer;
    ImplodeWriteFn writeBuf;
    void* param;

    void start(std::uint8_t* out, unsigned flushLevel, ImplodeWriteFn write, void* callbackParam) {
        pending = 0;
        pendingBits = 0;
        used = 0;
        flushAt = flushLevel;
        buffer = out;
        writeBuf = write;
        param = callbackParam;
    }

    void putByte(std::uint8_t byte) { buffer[used++] = byte; }

    // count is at most 32.
    void put(std::uint32_t bits, unsigned count) {
        pending |= std::uint64_t{bits} << pendingBits;
        pendingBits += count;
        if (pendingBits >= 32) {
            const auto word = static_cast<std::uint32_t>(pending);
            buffer[used] = static_cast<std::uint8_t>(word);
            buffer[used + 1] = static_cast<std::uint8_t>(word >> 8);
            buffer[used + 2] = static_cast<std::uint8_t>(word >> 16);
            buffer[used + 3] = static_cast<std::uint8_t>(word >> 24);
            used += 4;
            pending >>= 32;
            pendingBits -= 32;
            if (used >= flushAt) {
                flush();
            }
        }
    }

    void flush() {
        unsigned int size = used;
        if (size != 0) {
            writeBuf(reinterpret_cast<char*>(buffer), &size, param);
        }
        used = 0;
    }

    // Pads with zero bits to the byte boundary and writes everything out.
    void finish() {
        while (pendingBits > 0) {
            putByte(static_cast<std::uint8_t>(pending));
            pending >>= 8;
            pendingBits = pendingBits > 8 ? pendingBits - 8 : 0;
        }
        flush();
    }
};

inline unsigned lowDistanceBits(unsigned length, unsigned dictBits) {
    return length == 2 ? 2 : dictBits;
}

struct TokenCoder {
    unsigned mode;
    unsigned dictBits;

    void header(BitWriter& out) const {
        out.putByte(static_cast<std::uint8_t>(mode));
        out.putByte(static_cast<std::uint8_t>(dictBits));
    }

    void literal(BitWriter& out, std::uint8_t byte) const {
        if (mode == kModeBinary) {
            out.put(std::uint32_t{byte} << 1, 9);
        } else {
            out.put(std::uint32_t{tables::kAsciiCodes[byte]} << 1,
                    1u + tables::kAsciiCodeLengths[byte]);
        }
    }

    // length 2..518; distance 1..256 for length 2, otherwise 1..dictionary size.
    void copy(BitWriter& out, unsigned length, unsigned distance) const {
        const tables::LengthBits head = tables::kCopyHeads[length];
        const unsigned low = lowDistanceBits(length, dictBits);
        const unsigned high = (distance - 1) >> low;
        const unsigned codeLength = tables::kDistanceCodeLengths[high];
        out.put(head.bits, head.count);
        out.put(tables::kDistanceCodes[high] | (((distance - 1) & ((1u << low) - 1)) << codeLength),
                codeLength + low);
    }

    void end(BitWriter& out) const {
        const tables::LengthBits head = tables::kCopyHeads[tables::kEndLength];
        out.put(head.bits, head.count);
        out.finish();
    }

    unsigned literalCost(std::uint8_t byte) const {
        return mode == kModeBinary ? 9u : 1u + tables::kAsciiCodeLengths[byte];
    }

    unsigned copyCost(unsigned length, unsigned distance) const {
        const unsigned low = lowDistanceBits(length, dictBits);
        return tables::kCopyHeads[length].count +
               tables::kDistanceCodeLengths[(distance - 1) >> low] + low;
    }
};

inline bool validSettings(unsigned mode, unsigned dictSize, unsigned& result) {
    if (mode != kModeBinary && mode != kModeAscii) {
        result = kResultInvalidMode;
        return false;
    }
    if (dictSize != kDictionary1K && dictSize != kDictionary2K && dictSize != kDictionary4K) {
        result = kResultInvalidDictionarySize;
        return false;
    }
    return true;
}

inline unsigned dictionaryBits(unsigned dictSize) {
    return dictSize == kDictionary1K ? 4 : dictSize == kDictionary2K ? 5 : 6;
}

// Length of the common run of a and b, at most limit; both may be read 8 bytes past limit.
inline unsigned matchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned length = 0;
    while (length < limit) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        const std::uint64_t diff = x ^ y;
        if (diff != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                length += static_cast<unsigned>(std::countr_zero(diff)) / 8;
            } else {
                length += static_cast<unsigned>(std::countl_zero(diff)) / 8;
            }
            return length < limit ? length : limit;
        }
        length += 8;
    }
    return limit;
}

} // namespace implode::detail
