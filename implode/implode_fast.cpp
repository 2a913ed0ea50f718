// Compressing with hash chains and one step of lazy evaluation, inside the caller's work
// area.
//
// Input sits in a buffer of 2 * 4096 + 519 bytes; when it is full and the lookahead runs
// short, the oldest 4096 bytes drop out. Positions are 16-bit buffer offsets: three-byte
// hashes chain every position, and a second table remembers the latest position of each
// two-byte hash for length-2 copies (which may reach only 256 bytes back). Matches are
// weighed by the bits they save against literals, using the fixed code lengths.
#include "code_tables.h"
#include "implode/implode.h"
#include "token_writer.h"
#include "work_area.h"

#include <algorithm>

namespace implode {
namespace {

using namespace tables;
using detail::BitWriter;
using detail::TokenCoder;

constexpr unsigned kSlide = 4096;
// The lookahead covers a longest match at the position after the current one.
constexpr unsigned kLookahead = kMaxLength + 1;
constexpr unsigned kDataSize = 2 * kSlide + kLookahead;
constexpr unsigned kReadPad = 8; // matchLength reads up to 8 bytes past its limit
constexpr unsigned kHashBits = 12;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kChainSize = kSlide; // prev links, indexed by position mod 4096
constexpr std::uint16_t kNoPosition = 0xFFFF;
constexpr unsigned kOutFlushAt = 2048;
constexpr unsigned kOutSize = kOutFlushAt + 8;

// Search effort.
constexpr unsigned kMaxChain = 48;
constexpr unsigned kNiceLength = 128; // stop searching at a match this long
constexpr unsigned kLazyLimit = 32;   // matches this long are taken without looking ahead

struct Match {
    unsigned length;
    unsigned distance;
};

struct FastState {
    BitWriter out;
    TokenCoder coder;
    ImplodeReadFn readBuf;
    void* param;
    unsigned dictSize;
    unsigned pos;      // next position to code
    unsigned end;      // bytes of input in data
    unsigned inserted; // positions below this are in the hash tables
    bool inputEnded;
    std::uint16_t head3[kHashSize];
    std::uint16_t head2[kHashSize];
    std::uint16_t prev[kChainSize];
    std::uint8_t outBuffer[kOutSize];
    std::uint8_t data[kDataSize + kReadPad];
};
static_assert(detail::workAreaNeed<FastState>() <= kImplodeWorkAreaSize);

inline unsigned hash3(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

inline unsigned hash2(const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8);
    return (v * 2246822519u) >> (32 - kHashBits);
}

void slide(FastState& s) {
    std::memmove(s.data, s.data + kSlide, s.end - kSlide);
    s.pos -= kSlide;
    s.end -= kSlide;
    s.inserted -= kSlide;
    auto rebase = [](std::uint16_t& position) {
        position = position != kNoPosition && position >= kSlide
                       ? static_cast<std::uint16_t>(position - kSlide)
                       : kNoPosition;
    };
    std::for_each(std::begin(s.head3), std::end(s.head3), rebase);
    std::for_each(std::begin(s.head2), std::end(s.head2), rebase);
    std::for_each(std::begin(s.prev), std::end(s.prev), rebase);
}

// Keeps at least kLookahead bytes ahead of pos while input lasts.
void fill(FastState& s) {
    while (!s.inputEnded && s.end - s.pos < kLookahead) {
        if (s.end == kDataSize) {
            slide(s);
        }
        unsigned int size = kDataSize - s.end;
        const unsigned int got = std::min<unsigned int>(
            s.readBuf(reinterpret_cast<char*>(s.data + s.end), &size, s.param), kDataSize - s.end);
        if (got == 0) {
            s.inputEnded = true;
        }
        s.end += got;
    }
}

// Enters positions below limit into the tables, in order. A position whose three bytes
// have not all arrived waits for the next call, unless the input has ended.
void insertUpTo(FastState& s, unsigned limit) {
    for (; s.inserted < limit; ++s.inserted) {
        const unsigned p = s.inserted;
        if (p + 3 <= s.end) {
            const unsigned h = hash3(s.data + p);
            s.prev[p % kChainSize] = s.head3[h];
            s.head3[h] = static_cast<std::uint16_t>(p);
        } else if (!s.inputEnded) {
            return;
        }
        if (p + 2 <= s.end) {
            s.head2[hash2(s.data + p)] = static_cast<std::uint16_t>(p);
        }
    }
}

// Bits a match saves over coding its bytes as literals (negative when it costs more).
int gain(const FastState& s, unsigned p, Match m) {
    if (m.length < 2) {
        return 0;
    }
    int literals = 0;
    if (s.coder.mode == kModeBinary) {
        literals = 9 * static_cast<int>(m.length);
    } else {
        for (unsigned i = 0; i < m.length; ++i) {
            literals += static_cast<int>(s.coder.literalCost(s.data[p + i]));
        }
    }
    return literals - static_cast<int>(s.coder.copyCost(m.length, m.distance));
}

// The match at p that saves the most bits. p must not be in the tables yet, and all
// positions before it must.
Match findMatch(const FastState& s, unsigned p) {
    Match best{0, 0};
    int bestGain = 0;
    const unsigned limit = std::min(kMaxLength, s.end - p);
    const std::uint8_t* const here = s.data + p;
    if (limit >= 3) {
        unsigned candidate = s.head3[hash3(here)];
        unsigned lastDistance = 0;
        for (unsigned chain = kMaxChain; chain != 0; --chain) {
            const unsigned distance = p - candidate; // wraps for kNoPosition
            if (distance <= lastDistance || distance > s.dictSize) {
                break;
            }
            const std::uint8_t* const there = s.data + candidate;
            if (there[best.length] == here[best.length] && there[0] == here[0]) {
                const unsigned length = detail::matchLength(there, here, limit);
                if (length > best.length && (length > 2 || distance <= kMaxLength2Distance)) {
                    // Nearer matches were at most as long, and a farther one never costs
                    // fewer bits for the same length, so only a longer one can be better.
                    const Match match{length, distance};
                    const int matchGain = gain(s, p, match);
                    if (matchGain > bestGain || best.length == 0) {
                        best = match;
                        bestGain = matchGain;
                    }
                    if (length >= kNiceLength || length == limit) {
                        break;
                    }
                }
            }
            lastDistance = distance;
            candidate = s.prev[candidate % kChainSize];
        }
    }
    if (best.length < 3 && limit >= 2) {
        const unsigned candidate = s.head2[hash2(here)];
        const unsigned distance = p - candidate;
        if (distance >= 1 && distance <= kMaxLength2Distance && s.data[candidate] == here[0] &&
            s.data[candidate + 1] == here[1]) {
            const Match match{detail::matchLength(s.data + candidate, here, limit), distance};
            if (best.length == 0 || gain(s, p, match) > bestGain) {
                best = match;
            }
        }
    }
    return best;
}

// Matches found ahead of the current position, kept while the position moves on by
// literals.
class Lookahead {
  public:
    // The match at pos + offset, found now if it is not known yet.
    Match at(FastState& s, unsigned offset) {
        while (known_ <= offset) {
            const unsigned p = s.pos + known_;
            insertUpTo(s, p);
            matches_[known_++] = findMatch(s, p);
            insertUpTo(s, p + 1);
        }
        return matches_[offset];
    }
    void advanceByLiteral() {
        for (unsigned i = 1; i < known_; ++i) {
            matches_[i - 1] = matches_[i];
        }
        known_ = known_ == 0 ? 0 : known_ - 1;
    }
    void forget() { known_ = 0; }

  private:
    Match matches_[2];
    unsigned known_ = 0;
};

void compress(FastState& s) {
    Lookahead ahead;
    for (;;) {
        fill(s);
        if (s.pos >= s.end) {
            break;
        }
        const unsigned p = s.pos;
        const Match m = ahead.at(s, 0);
        bool literal = m.length < 2;
        if (!literal && m.length < kLazyLimit) {
            // A literal first pays when the match one byte on saves more.
            const int here = gain(s, p, m);
            literal = here <= 0 || (p + 1 < s.end && gain(s, p + 1, ahead.at(s, 1)) > here);
        }
        if (literal) {
            s.coder.literal(s.out, s.data[p]);
            s.pos = p + 1;
            ahead.advanceByLiteral();
            continue;
        }
        s.coder.copy(s.out, m.length, m.distance);
        insertUpTo(s, p + m.length);
        s.pos = p + m.length;
        ahead.forget();
    }
    s.coder.end(s.out);
}

} // namespace

unsigned int implode(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, char* workArea, void* param,
                     unsigned int type, unsigned int dictSize) {
    unsigned int result = kResultOk;
    if (!detail::validSettings(type, dictSize, result)) {
        return result;
    }
    FastState& s = detail::placeState<FastState>(workArea);
    s.out.start(s.outBuffer, kOutFlushAt, writeBuf, param);
    s.coder = {type, detail::dictionaryBits(dictSize)};
    s.readBuf = readBuf;
    s.param = param;
    s.dictSize = dictSize;
    s.pos = 0;
    s.end = 0;
    s.inserted = 0;
    s.inputEnded = false;
    std::fill(std::begin(s.head3), std::end(s.head3), kNoPosition);
    std::fill(std::begin(s.head2), std::end(s.head2), kNoPosition);
    std::fill(std::begin(s.prev), std::end(s.prev), kNoPosition);
    std::fill(std::begin(s.data), std::end(s.data), std::uint8_t{0});
    s.coder.header(s.out);
    compress(s);
    return kResultOk;
}

} // namespace implode
