// Compressing with the shortest parse over the fixed codes.
//
// Input is taken in segments of 64 KiB behind up to 4096 bytes of history, with 2 KiB of
// lookahead beyond each segment. For every position the match finder lists, by increasing
// distance, each match that is longer than all nearer ones; since a farther distance never
// has a shorter code, the nearest match reaching a length is the cheapest way to copy that
// length. A forward pass finds the cheapest way (in bits) to reach every position up to
// the end of the lookahead, and the path is read back from there. The tokens that start
// inside the segment are written; the next segment starts where the last of them ends, so
// the lookahead lets copies run across segment ends at no loss.
#include "code_tables.h"
#include "implode/implode.h"
#include "implode_internal.h"
#include "token_writer.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace implode::detail {
namespace {

using namespace tables;

constexpr unsigned kHistory = 4096;
constexpr unsigned kSegment = 1u << 16;
constexpr unsigned kLookahead = 2048;
constexpr unsigned kParseSpan = kSegment + kLookahead;
constexpr unsigned kReadPad = 8;
constexpr unsigned kHashBits = 16;
constexpr unsigned kChainSize = kHistory; // prev links, indexed by position mod 4096
constexpr unsigned kMaxChain = 1024;
// A match this long is taken as it is: the positions it covers are not explored.
constexpr unsigned kNiceLength = 160;
constexpr unsigned kOutFlushAt = 1u << 16;
constexpr std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();

struct Candidate {
    unsigned length;
    unsigned distance;
};

class BestParser {
  public:
    BestParser(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, void* param,
               const ImplodeSettings& settings)
        : readBuf_(readBuf), param_(param),
          dictSize_(settings.dictSize), coder_{settings.mode, dictionaryBits(settings.dictSize)},
          data_(kHistory + kParseSpan + kReadPad), head3_(1u << kHashBits, 0), head2_(1u << 16, 0),
          prev_(kChainSize, 0), outBuffer_(kOutFlushAt + 8) {
        out_.start(outBuffer_.data(), kOutFlushAt, writeBuf, param);
        candidates_.reserve(kMaxLength);
        // Absolute positions start at kHistory + 1 so that the zeroed tables point
        // farther back than any window.
        base_ = kHistory + 1;
    }

    void run() {
        coder_.header(out_);
        unsigned history = 0; // bytes before the next position to code
        unsigned pending = 0; // bytes from there on
        for (;;) {
            pending = readUpTo(history, pending);
            if (pending == 0) {
                break;
            }
            const unsigned commit = inputEnded_ ? pending : std::min(pending, kSegment);
            parse(history, pending, commit);
            const unsigned consumed = emit(history, pending, commit);
            for (unsigned i = history + commit; i < history + consumed; ++i) {
                enter(i, history + pending);
            }
            const unsigned keep = std::min(kHistory, history + consumed);
            const unsigned drop = history + consumed - keep;
            std::memmove(data_.data(), data_.data() + drop, history + pending - drop);
            base_ += drop;
            history = keep;
            pending -= consumed;
        }
        coder_.end(out_);
    }

  private:
    // Reads until kParseSpan bytes follow the history or the input ends.
    unsigned readUpTo(unsigned history, unsigned pending) {
        while (!inputEnded_ && pending < kParseSpan) {
            unsigned int size = kParseSpan - pending;
            char* const target = reinterpret_cast<char*>(data_.data() + history + pending);
            const unsigned int got =
                std::min(readBuf_(target, &size, param_), kParseSpan - pending);
            if (got == 0) {
                inputEnded_ = true;
            }
            pending += got;
        }
        return pending;
    }

    static unsigned hash3(const std::uint8_t* p) {
        const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    // Lists the matches at buffer index i (absolute position base_ + i) into candidates_
    // and, when asked, enters i into the tables. Copies end at most at limit.
    void findMatches(unsigned i, unsigned limit, bool insert) {
        candidates_.clear();
        const std::uint32_t position = base_ + i;
        const std::uint8_t* const here = data_.data() + i;
        const unsigned maxLength = std::min(kMaxLength, limit - i);
        if (maxLength >= 2) {
            const unsigned key = here[0] | (unsigned{here[1]} << 8);
            const std::uint32_t distance = position - head2_[key];
            if (distance >= 1 && distance <= kMaxLength2Distance && distance <= i &&
                here[-static_cast<int>(distance)] == here[0] &&
                here[1 - static_cast<int>(distance)] == here[1]) {
                candidates_.push_back({2, distance});
            }
            head2_[key] = position;
        }
        if (maxLength >= 3) {
            const unsigned h = hash3(here);
            std::uint32_t candidate = head3_[h];
            std::uint32_t lastDistance = 0;
            unsigned bestLength = 2;
            for (unsigned chain = kMaxChain; chain != 0; --chain) {
                const std::uint32_t distance = position - candidate;
                if (distance <= lastDistance || distance > dictSize_ || distance > i) {
                    break;
                }
                const std::uint8_t* const there = here - distance;
                if (there[bestLength] == here[bestLength]) {
                    const unsigned length = matchLength(there, here, maxLength);
                    if (length > bestLength) {
                        bestLength = length;
                        candidates_.push_back({length, distance});
                        if (length == maxLength) {
                            break;
                        }
                    }
                }
                lastDistance = distance;
                candidate = prev_[candidate % kChainSize];
            }
            if (insert) {
                prev_[position % kChainSize] = head3_[h];
                head3_[h] = position;
            }
        }
    }

    void enter(unsigned i, unsigned limit) {
        const std::uint32_t position = base_ + i;
        const std::uint8_t* const here = data_.data() + i;
        if (i + 2 <= limit) {
            head2_[here[0] | (unsigned{here[1]} << 8)] = position;
        }
        if (i + 3 <= limit) {
            const unsigned h = hash3(here);
            prev_[position % kChainSize] = head3_[h];
            head3_[h] = position;
        }
    }

    void relax(unsigned to, std::uint32_t cost, unsigned length, unsigned distance) {
        if (cost < cost_[to]) {
            cost_[to] = cost;
            step_[to] = length | (distance << 10);
        }
    }

    // Cheapest way to every position of the span. Positions before commit go into the
    // tables as they are passed; the rest are only looked at.
    void parse(unsigned history, unsigned span, unsigned commit) {
        const unsigned limit = history + span;
        if (cost_.size() < span + 1) {
            cost_.resize(span + 1);
            step_.resize(span + 1);
        }
        std::fill(cost_.begin(), cost_.begin() + span + 1, kUnreached);
        cost_[0] = 0;
        for (unsigned k = 0; k < span;) {
            const unsigned i = history + k;
            findMatches(i, limit, k < commit);
            const std::uint32_t here = cost_[k];
            relax(k + 1, here + coder_.literalCost(data_[i]), 1, 0);
            unsigned reached = 1;
            for (const Candidate& c : candidates_) {
                const unsigned low = lowDistanceBits(c.length, coder_.dictBits);
                const std::uint32_t distanceCost =
                    kDistanceCodeLengths[(c.distance - 1) >> low] + low;
                for (unsigned l = std::max(reached + 1, c.length == 2 ? 2u : 3u); l <= c.length;
                     ++l) {
                    relax(k + l, here + distanceCost + kCopyHeads[l].count, l, c.distance);
                }
                reached = c.length;
            }
            if (reached >= kNiceLength) {
                for (unsigned j = k + 1; j < k + reached && j < commit; ++j) {
                    enter(history + j, limit);
                }
                k += reached;
            } else {
                ++k;
            }
        }
    }

    // Writes the tokens of the cheapest path that start before commit; returns where the
    // last of them ends.
    unsigned emit(unsigned history, unsigned span, unsigned commit) {
        path_.clear();
        for (unsigned k = span; k > 0;) {
            path_.push_back(step_[k]);
            k -= step_[k] & 1023;
        }
        unsigned k = 0;
        for (auto it = path_.rbegin(); it != path_.rend() && k < commit; ++it) {
            const unsigned stepLength = *it & 1023;
            if (stepLength == 1) {
                coder_.literal(out_, data_[history + k]);
            } else {
                coder_.copy(out_, stepLength, *it >> 10);
            }
            k += stepLength;
        }
        return k;
    }

    ImplodeReadFn readBuf_;
    void* param_;
    unsigned dictSize_;
    TokenCoder coder_;
    BitWriter out_{};
    bool inputEnded_ = false;
    std::uint32_t base_ = 0; // absolute position of data_[0]
    std::vector<std::uint8_t> data_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> head2_;
    std::vector<std::uint32_t> prev_;
    std::vector<std::uint32_t> cost_;
    std::vector<std::uint32_t> step_; // how each position is reached: length | distance << 10
    std::vector<std::uint32_t> path_; // steps of the cheapest path, last first
    std::vector<Candidate> candidates_;
    std::vector<std::uint8_t> outBuffer_;
};

} // namespace

void implodeBest(ImplodeReadFn readBuf, ImplodeWriteFn writeBuf, void* param,
                 const ImplodeSettings& settings) {
    BestParser(readBuf, writeBuf, param, settings).run();
}

} // namespace implode::detail
