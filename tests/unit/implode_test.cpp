// Tests of the implode library: known streams, round trips against StormLib's independent
// implode/explode, odd read sizes, damaged and hostile input, the exported entry points.
#include "code_tables.h"
#include "implode/implode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using implode::kModeAscii;
using implode::kModeBinary;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// ---- callbacks over memory ------------------------------------------------------------

struct Pipe {
    explicit Pipe(std::span<const std::uint8_t> in) : input(in) {}

    std::span<const std::uint8_t> input;
    std::size_t readPos = 0;
    std::size_t readChunk = static_cast<std::size_t>(-1); // most bytes handed out per read
    Bytes output;
    std::size_t writes = 0;
};

unsigned int IMPLODE_CDECL readPipe(char* buf, unsigned int* size, void* param) {
    auto& pipe = *static_cast<Pipe*>(param);
    const std::size_t count =
        std::min({std::size_t{*size}, pipe.readChunk, pipe.input.size() - pipe.readPos});
    if (count != 0) {
        std::memcpy(buf, pipe.input.data() + pipe.readPos, count);
    }
    pipe.readPos += count;
    return static_cast<unsigned int>(count);
}

void IMPLODE_CDECL writePipe(char* buf, unsigned int* size, void* param) {
    auto& pipe = *static_cast<Pipe*>(param);
    pipe.output.insert(pipe.output.end(), buf, buf + *size);
    ++pipe.writes;
}

// A work area of exactly `size` bytes starting at an odd address, ending where its heap
// block ends, so that the sanitizer sees any access past it.
class WorkArea {
  public:
    explicit WorkArea(std::size_t size) : block_(new char[size + 1]) {}
    char* get() { return block_.get() + 1; }

  private:
    std::unique_ptr<char[]> block_;
};

struct Outcome {
    unsigned int result;
    Bytes data;
};

Outcome explodeWith(std::span<const std::uint8_t> stream, std::size_t readChunk = -1) {
    Pipe pipe{stream};
    pipe.readChunk = readChunk;
    WorkArea area(implode::kExplodeWorkAreaSize);
    const unsigned int result = implode::explode(readPipe, writePipe, area.get(), &pipe);
    return {result, std::move(pipe.output)};
}

Bytes implodeWith(std::span<const std::uint8_t> data, unsigned mode, unsigned dictSize,
                  std::size_t readChunk = -1) {
    Pipe pipe{data};
    pipe.readChunk = readChunk;
    WorkArea area(implode::kImplodeWorkAreaSize);
    EXPECT_EQ(implode::implode(readPipe, writePipe, area.get(), &pipe, mode, dictSize),
              implode::kResultOk);
    return std::move(pipe.output);
}

// ---- the format, written out from its description -------------------------------------

// Codes in the order their bits go out.
std::vector<std::string> canonicalCodes(std::span<const std::uint8_t> lengths) {
    std::vector<std::string> codes(lengths.size());
    unsigned long code = 0;
    unsigned previous = 0;
    bool first = true;
    for (unsigned length = 1; length <= 16; ++length) {
        for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            if (lengths[symbol] != length) {
                continue;
            }
            code = first ? 0 : (code + 1) << (length - previous);
            first = false;
            previous = length;
            std::string bits;
            for (unsigned i = length; i-- > 0;) {
                bits += ((code >> i) & 1) ? '0' : '1'; // inverted
            }
            codes[symbol] = bits;
        }
    }
    return codes;
}

struct LengthCode {
    unsigned base;
    std::string_view code;
    unsigned extraBits;
};
constexpr std::array<LengthCode, 16> kLengthCodes{{
    {2, "101", 0},
    {3, "11", 0},
    {4, "100", 0},
    {5, "011", 0},
    {6, "0101", 0},
    {7, "0100", 0},
    {8, "0011", 0},
    {9, "00101", 0},
    {10, "00100", 1},
    {12, "00011", 2},
    {16, "00010", 3},
    {24, "000011", 4},
    {40, "000010", 5},
    {72, "000001", 6},
    {136, "0000001", 7},
    {264, "0000000", 8},
}};

const std::vector<std::string>& distanceCodes() {
    static const auto codes = canonicalCodes(implode::tables::kDistanceCodeLengths);
    return codes;
}

const std::vector<std::string>& asciiCodes() {
    static const auto codes = canonicalCodes(implode::tables::kAsciiCodeLengths);
    return codes;
}

// Builds streams bit by bit.
class StreamBuilder {
  public:
    StreamBuilder(unsigned mode, unsigned dictBits)
        : bytes_{static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(dictBits)},
          dictBits_(dictBits) {}

    StreamBuilder& code(std::string_view bits) {
        for (char c : bits) {
            bit(c == '1');
        }
        return *this;
    }
    StreamBuilder& plain(unsigned value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            bit((value >> i) & 1);
        }
        return *this;
    }
    StreamBuilder& literal(std::uint8_t byte) {
        code("0");
        return bytes_[0] == kModeAscii ? code(asciiCodes()[byte]) : plain(byte, 8);
    }
    StreamBuilder& copy(unsigned length, unsigned distance) {
        unsigned symbol = 15;
        while (kLengthCodes[symbol].base > length) {
            --symbol;
        }
        code("1").code(kLengthCodes[symbol].code);
        plain(length - kLengthCodes[symbol].base, kLengthCodes[symbol].extraBits);
        const unsigned low = length == 2 ? 2 : dictBits_;
        code(distanceCodes()[(distance - 1) >> low]);
        return plain((distance - 1) & ((1u << low) - 1), low);
    }
    StreamBuilder& end() { return code("1").code("0000000").plain(0xFF, 8); }
    Bytes bytes() const { return bytes_; }

  private:
    void bit(bool value) {
        if (bitCount_ % 8 == 0) {
            bytes_.push_back(0);
        }
        if (value) {
            bytes_.back() |= static_cast<std::uint8_t>(1u << (bitCount_ % 8));
        }
        ++bitCount_;
    }

    Bytes bytes_;
    unsigned dictBits_;
    unsigned bitCount_ = 0;
};

// Decodes a bit at a time with string code tables: slow and plain, for comparison.
Outcome referenceExplode(std::span<const std::uint8_t> stream) {
    Outcome out{implode::kResultTruncatedInput, {}};
    if (stream.size() < 2) {
        return out;
    }
    if (stream[0] > 1) {
        return {implode::kResultInvalidMode, {}};
    }
    if (stream[1] < 4 || stream[1] > 6) {
        return {implode::kResultInvalidDictionarySize, {}};
    }
    const bool ascii = stream[0] == kModeAscii;
    const unsigned dictBits = stream[1];
    std::size_t bitPos = 16;
    auto bit = [&](unsigned& value) {
        if (bitPos >= stream.size() * 8) {
            return false;
        }
        value = (stream[bitPos / 8] >> (bitPos % 8)) & 1;
        ++bitPos;
        return true;
    };
    auto plain = [&](unsigned count, unsigned& value) {
        value = 0;
        for (unsigned i = 0; i < count; ++i) {
            unsigned b;
            if (!bit(b)) {
                return false;
            }
            value |= b << i;
        }
        return true;
    };
    auto decode = [&](const std::map<std::string, unsigned>& table, unsigned& symbol) {
        std::string bits;
        while (bits.size() < 16) {
            unsigned b;
            if (!bit(b)) {
                return false;
            }
            bits += b ? '1' : '0';
            if (auto it = table.find(bits); it != table.end()) {
                symbol = it->second;
                return true;
            }
        }
        return false;
    };
    std::map<std::string, unsigned> lengthTable, distanceTable, asciiTable;
    for (unsigned s = 0; s < 16; ++s) {
        lengthTable[std::string(kLengthCodes[s].code)] = s;
    }
    for (unsigned s = 0; s < 64; ++s) {
        distanceTable[distanceCodes()[s]] = s;
    }
    for (unsigned s = 0; s < 256; ++s) {
        asciiTable[asciiCodes()[s]] = s;
    }
    for (;;) {
        unsigned flag, value;
        if (!bit(flag)) {
            return out;
        }
        if (flag == 0) {
            if (!(ascii ? decode(asciiTable, value) : plain(8, value))) {
                return out;
            }
            out.data.push_back(static_cast<std::uint8_t>(value));
            continue;
        }
        unsigned symbol, extra, high, low;
        if (!decode(lengthTable, symbol) || !plain(kLengthCodes[symbol].extraBits, extra)) {
            return out;
        }
        const unsigned length = kLengthCodes[symbol].base + extra;
        if (length == 519) {
            out.result = implode::kResultOk;
            return out;
        }
        const unsigned lowBits = length == 2 ? 2 : dictBits;
        if (!decode(distanceTable, high) || !plain(lowBits, low)) {
            return out;
        }
        const std::size_t distance = ((high << lowBits) | low) + 1;
        if (distance > out.data.size()) {
            out.result = implode::kResultBadDistance;
            return out;
        }
        for (unsigned i = 0; i < length; ++i) {
            out.data.push_back(out.data[out.data.size() - distance]);
        }
    }
}

// ---- StormLib, loaded at run time -------------------------------------------------------

using StormImplodeFn = unsigned int (*)(ImplodeReadFn, ImplodeWriteFn, char*, void*, unsigned int*,
                                        unsigned int*);
using StormExplodeFn = unsigned int (*)(ImplodeReadFn, ImplodeWriteFn, char*, void*);
using CrcFn = unsigned long(IMPLODE_CDECL*)(char*, unsigned int*, unsigned long*);
using CImplodeFn = unsigned int(IMPLODE_CDECL*)(ImplodeReadFn, ImplodeWriteFn, char*, void*,
                                                unsigned int*, unsigned int*);
using CExplodeFn = unsigned int(IMPLODE_CDECL*)(ImplodeReadFn, ImplodeWriteFn, char*, void*);

class SharedLibrary {
  public:
    explicit SharedLibrary(const char* path) {
#if defined(_WIN32)
        handle_ = LoadLibraryA(path);
#else
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~SharedLibrary() {
        if (handle_ != nullptr) {
#if defined(_WIN32)
            FreeLibrary(handle_);
#else
            dlclose(handle_);
#endif
        }
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool loaded() const {
        return handle_ != nullptr;
    }
    template <typename Fn> Fn symbol(const char* name) const {
#if defined(_WIN32)
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(handle_, name)));
#else
        return reinterpret_cast<Fn>(dlsym(handle_, name));
#endif
    }

  private:
#if defined(_WIN32)
    HMODULE handle_;
#else
    void* handle_;
#endif
};

// StormLib's work areas are larger on 64-bit builds than the DCL sizes: give it plenty.
constexpr std::size_t kStormWorkArea = 64 * 1024;

class Storm {
  public:
    Storm() : library_(IMPLODE_TEST_STORM_LIBRARY) {
        if (library_.loaded()) {
            implode_ = library_.symbol<StormImplodeFn>("implode");
            explode_ = library_.symbol<StormExplodeFn>("explode");
        }
    }
    bool usable() const { return implode_ != nullptr && explode_ != nullptr; }

    Bytes implode(std::span<const std::uint8_t> data, unsigned mode, unsigned dictSize) const {
        Pipe pipe{data};
        std::vector<char> area(kStormWorkArea);
        unsigned int type = mode;
        unsigned int size = dictSize;
        EXPECT_EQ(implode_(readPipe, writePipe, area.data(), &pipe, &type, &size), 0u);
        return std::move(pipe.output);
    }
    Outcome explode(std::span<const std::uint8_t> stream) const {
        Pipe pipe{stream};
        std::vector<char> area(kStormWorkArea);
        const unsigned int result = explode_(readPipe, writePipe, area.data(), &pipe);
        return {result, std::move(pipe.output)};
    }

  private:
    SharedLibrary library_;
    StormImplodeFn implode_ = nullptr;
    StormExplodeFn explode_ = nullptr;
};

#if !defined(_WIN32) // StormLib is a host library
const Storm* storm() {
    static const Storm instance;
    return instance.usable() ? &instance : nullptr;
}
#endif

// ---- a corpus, reproducible everywhere ---------------------------------------------------

struct Sample {
    std::string name;
    Bytes data;
};

Bytes randomBytes(std::mt19937& rng, std::size_t size) {
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng() >> 24);
    }
    return bytes;
}

Bytes generatedText(std::mt19937& rng, std::size_t size) {
    static constexpr std::array<std::string_view, 24> kWords{
        "the",    "saver",   "window", "of",    "and",   "install", "screen", "a",
        "file",   "package", "to",     "Flash", "error", "folder",  "is",     "with",
        "System", "setup",   "in",     "Wine",  "data",  "colour",  "\"x\"",  "42"};
    std::string text;
    while (text.size() < size) {
        text += kWords[rng() % kWords.size()];
        const unsigned r = rng() % 16;
        text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
    }
    text.resize(size);
    return bytesOf(text);
}

// Records of little-endian fields and a few repeated instruction-like patterns.
Bytes generatedBinary(std::mt19937& rng, std::size_t size) {
    Bytes bytes;
    static constexpr std::array<std::uint8_t, 6> kPrologue{0x55, 0x89, 0xE5, 0x83, 0xEC, 0x18};
    while (bytes.size() < size) {
        switch (rng() % 4) {
        case 0:
            bytes.insert(bytes.end(), kPrologue.begin(), kPrologue.end());
            break;
        case 1: {
            const std::uint32_t value = rng() % 4096;
            for (int i = 0; i < 4; ++i) {
                bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
            }
            break;
        }
        case 2:
            bytes.insert(bytes.end(), rng() % 12, std::uint8_t{0});
            break;
        default:
            bytes.push_back(static_cast<std::uint8_t>(rng()));
        }
    }
    bytes.resize(size);
    return bytes;
}

const std::vector<Sample>& corpus() {
    static const std::vector<Sample> samples = [] {
        std::mt19937 rng(20240611);
        std::vector<Sample> s;
        s.push_back({"empty", {}});
        s.push_back({"one byte", {0x41}});
        s.push_back({"two bytes", {0xFF, 0x00}});
        s.push_back({"short run", Bytes(3000, 'z')});
        s.push_back({"long run", Bytes(70000, 0)});
        s.push_back({"text", generatedText(rng, 60000)});
        s.push_back({"binary", generatedBinary(rng, 40000)});
        s.push_back({"random", randomBytes(rng, 20000)});
        Bytes repeated = randomBytes(rng, 4096);
        repeated.insert(repeated.end(), repeated.begin(), repeated.end()); // every byte 4096 back
        s.push_back({"far copies", repeated});
        Bytes high;
        for (int i = 0; i < 8000; ++i) {
            high.push_back(static_cast<std::uint8_t>(0x80 + rng() % 24 * 5));
        }
        s.push_back({"high bytes", high});
        return s;
    }();
    return samples;
}

// ---- tests -------------------------------------------------------------------------------

TEST(ExplodeKnownStreams, ExpandTheThreeReferenceStreams) {
    const Bytes aiai{0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f};
    const Bytes hello{0x00, 0x06, 0x90, 0x94, 0x61, 0xc3, 0xe6, 0x0d,
                      0x0b, 0x90, 0x98, 0x0d, 0x21, 0x01, 0xff};
    const Bytes cat{0x01, 0x04, 0x0a, 0xc5, 0xf6, 0x0c, 0x47, 0xf1, 0xea,
                    0x1f, 0xdd, 0xf0, 0xb3, 0x93, 0xb7, 0x0c, 0xf8, 0x07};
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, static_cast<std::size_t>(-1)}) {
        EXPECT_EQ(explodeWith(aiai, chunk).data, bytesOf("AIAIAIAIAIAIA"));
        EXPECT_EQ(explodeWith(hello, chunk).data, bytesOf("Hello, Hello, Hello!"));
        const Outcome outcome = explodeWith(cat, chunk);
        EXPECT_EQ(outcome.result, implode::kResultOk);
        EXPECT_EQ(outcome.data, bytesOf("the cat sat on the mat"));
    }
}

TEST(ExplodeKnownStreams, EmptyStreamAndItsCompression) {
    const Bytes empty{0x00, 0x06, 0x01, 0xff};
    const Outcome outcome = explodeWith(empty);
    EXPECT_EQ(outcome.result, implode::kResultOk);
    EXPECT_TRUE(outcome.data.empty());
    EXPECT_EQ(implodeWith({}, kModeBinary, 4096), empty);
}

TEST(ExplodeKnownStreams, LongestCopyAndCopiesReachingTheFirstByte) {
    // 'x' then a copy of 518 at distance 1: 519 bytes.
    const Bytes longest = StreamBuilder(kModeBinary, 4).literal('x').copy(518, 1).end().bytes();
    EXPECT_EQ(explodeWith(longest).data, Bytes(519, 'x'));
    // Copies whose distance is exactly the output so far, one per length class.
    StreamBuilder builder(kModeAscii, 6);
    builder.literal('a').literal('b').copy(2, 2).literal('c');
    Bytes expected = bytesOf("ababc");
    for (unsigned length : {3u, 9u, 11u, 23u, 71u, 263u, 264u}) {
        const std::size_t distance = std::min<std::size_t>(expected.size(), 4096);
        builder.copy(length, static_cast<unsigned>(distance));
        for (unsigned i = 0; i < length; ++i) {
            expected.push_back(expected[expected.size() - distance]);
        }
    }
    const Outcome outcome = explodeWith(builder.end().bytes(), 1);
    EXPECT_EQ(outcome.result, implode::kResultOk);
    EXPECT_EQ(outcome.data, expected);
}

TEST(ExplodeKnownStreams, CopiesRepeatShortPatterns) {
    // Copies that overlap what they write, from every short distance, at lengths around
    // the sizes the decoder moves at once.
    for (unsigned distance = 1; distance <= 20; ++distance) {
        for (unsigned length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 24u, 33u, 100u, 518u}) {
            StreamBuilder builder(kModeBinary, 4);
            for (unsigned i = 0; i < distance; ++i) {
                builder.literal(static_cast<std::uint8_t>('a' + i));
            }
            const Bytes stream = builder.copy(length, distance).literal('!').end().bytes();
            const Outcome expected = referenceExplode(stream);
            ASSERT_EQ(expected.data.size(), distance + length + 1);
            EXPECT_EQ(explodeWith(stream).data, expected.data)
                << "distance " << distance << " length " << length;
        }
    }
}

TEST(ExplodeKnownStreams, CodeTablesMatchTheListedCodes) {
    EXPECT_EQ(asciiCodes()[' '], "1111");
    EXPECT_EQ(asciiCodes()['e'], "11011");
    EXPECT_EQ(distanceCodes()[0], "11");
    EXPECT_EQ(distanceCodes()[2], "1010");
    EXPECT_EQ(distanceCodes()[7], "011111");
    EXPECT_EQ(distanceCodes()[47], "0001000");
    EXPECT_EQ(distanceCodes()[63], "00000000");
    // Every ASCII literal, each followed by literals of every code length (so that pairs of
    // codes end on both sides of any lookup width), and the copy lengths around each length
    // class boundary at distances of every distance code length.
    StreamBuilder builder(kModeAscii, 5);
    Bytes expected;
    const auto literal = [&](unsigned byte) {
        builder.literal(static_cast<std::uint8_t>(byte));
        expected.push_back(static_cast<std::uint8_t>(byte));
    };
    // Code lengths 4 to 13 in turn.
    constexpr std::array<unsigned, 10> kNext{' ', 'e', 'd', '(', '"', '+', '!', 0x00, 0xB0, 0x80};
    for (unsigned i = 0; i < kNext.size(); ++i) {
        ASSERT_EQ(asciiCodes()[kNext[i]].size(), 4 + i);
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (unsigned next : kNext) {
            literal(byte);
            literal(next);
        }
    }
    for (const LengthCode& code : kLengthCodes) {
        for (unsigned length : {code.base, code.base + (1u << code.extraBits) - 1}) {
            if (length > 518) {
                continue;
            }
            // The first symbol of each distance code length, and the last.
            for (unsigned high : {0u, 1u, 3u, 7u, 22u, 48u, 63u}) {
                const unsigned distance = (high << (length == 2 ? 2 : 5)) + 1;
                builder.copy(length, distance);
                for (unsigned i = 0; i < length; ++i) {
                    expected.push_back(expected[expected.size() - distance]);
                }
            }
        }
    }
    EXPECT_EQ(explodeWith(builder.end().bytes()).data, expected);
}

TEST(ExplodeBadInput, HeaderFaults) {
    struct Case {
        Bytes stream;
        unsigned int result;
    };
    const std::vector<Case> cases{
        {{}, implode::kResultTruncatedInput},
        {{0x00}, implode::kResultTruncatedInput},
        {{0x00, 0x06}, implode::kResultTruncatedInput},
        {{0x02, 0x06, 0x01, 0xff}, implode::kResultInvalidMode},
        {{0xFF, 0x06, 0x01, 0xff}, implode::kResultInvalidMode},
        {{0x00, 0x03, 0x01, 0xff}, implode::kResultInvalidDictionarySize},
        {{0x01, 0x07, 0x01, 0xff}, implode::kResultInvalidDictionarySize},
        {{0x00, 0x00, 0x01, 0xff}, implode::kResultInvalidDictionarySize},
    };
    for (const Case& c : cases) {
        const Outcome outcome = explodeWith(c.stream);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_TRUE(outcome.data.empty());
    }
}

TEST(ExplodeBadInput, DistanceBeforeTheFirstByte) {
    const Outcome first = explodeWith(StreamBuilder(kModeBinary, 4).copy(3, 1).end().bytes());
    EXPECT_EQ(first.result, implode::kResultBadDistance);
    EXPECT_TRUE(first.data.empty());

    // After 10361 bytes (past the first window flush) a distance of 4096 is fine, and after
    // 3 bytes a distance of 4 is not; what came before the fault is written.
    StreamBuilder longRun(kModeBinary, 6);
    longRun.literal('q').copy(518, 1);
    for (int i = 0; i < 19; ++i) {
        longRun.copy(518, 1);
    }
    const Outcome ok = explodeWith(longRun.copy(100, 4096).end().bytes());
    EXPECT_EQ(ok.result, implode::kResultOk);
    EXPECT_EQ(ok.data, Bytes(10461, 'q'));

    const Outcome late = explodeWith(
        StreamBuilder(kModeAscii, 4).literal('a').literal('b').literal('c').copy(2, 4).bytes());
    EXPECT_EQ(late.result, implode::kResultBadDistance);
    EXPECT_EQ(late.data, bytesOf("abc"));
}

TEST(ExplodeBadInput, EveryTruncationFailsAndWritesOnlyAPrefix) {
    std::mt19937 rng(7);
    const Bytes text = generatedText(rng, 5000);
    std::vector<Bytes> streams{implodeWith(text, kModeAscii, 1024),
                               implodeWith(text, kModeBinary, 4096),
                               implodeWith(generatedBinary(rng, 3000), kModeBinary, 2048)};
    for (const Bytes& stream : streams) {
        const Bytes original = explodeWith(stream).data;
        for (std::size_t size = 0; size < stream.size(); ++size) {
            const Outcome outcome =
                explodeWith(std::span(stream).first(size), size % 2 ? 1 : size_t(-1));
            ASSERT_EQ(outcome.result, implode::kResultTruncatedInput) << "prefix " << size;
            ASSERT_LE(outcome.data.size(), original.size());
            ASSERT_TRUE(std::equal(outcome.data.begin(), outcome.data.end(), original.begin()));
        }
    }
}

TEST(ExplodeBadInput, GarbageDecodesLikeThePlainDecoder) {
    std::mt19937 rng(99);
    std::vector<Bytes> valid;
    for (const Sample& sample : corpus()) {
        if (sample.data.size() > 1) {
            const std::size_t size = std::min<std::size_t>(sample.data.size(), 3000);
            valid.push_back(
                implodeWith(std::span(sample.data).first(size), rng() % 2, 1024u << (rng() % 3)));
        }
    }
    for (int round = 0; round < 4000; ++round) {
        Bytes stream;
        if (round % 2 == 0) {
            // Random bits behind a valid header (or a random header now and then).
            stream = randomBytes(rng, rng() % 700);
            if (stream.size() >= 2 && round % 50 != 0) {
                stream[0] = static_cast<std::uint8_t>(rng() % 2);
                stream[1] = static_cast<std::uint8_t>(4 + rng() % 3);
            }
        } else {
            // A valid stream with a few bits flipped, maybe cut short.
            stream = valid[rng() % valid.size()];
            for (unsigned flips = 1 + rng() % 4; flips != 0; --flips) {
                const std::size_t at = 2 + rng() % (stream.size() - 2);
                stream[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            }
            if (rng() % 3 == 0) {
                stream.resize(rng() % stream.size());
            }
        }
        const Outcome expected = referenceExplode(stream);
        const Outcome outcome = explodeWith(stream, round % 7 == 0 ? 1 + rng() % 5 : size_t(-1));
        ASSERT_EQ(outcome.result, expected.result) << "round " << round;
        ASSERT_EQ(outcome.data, expected.data) << "round " << round;
    }
}

TEST(ImplodeSettings, RejectsUnknownModesAndWindows) {
    const Bytes data = bytesOf("some data");
    for (auto [mode, size, result] :
         {std::tuple{2u, 4096u, implode::kResultInvalidMode},
          std::tuple{0u, 8192u, implode::kResultInvalidDictionarySize},
          std::tuple{1u, 0u, implode::kResultInvalidDictionarySize},
          std::tuple{1u, 1000u, implode::kResultInvalidDictionarySize}}) {
        Pipe pipe{data};
        WorkArea area(implode::kImplodeWorkAreaSize);
        EXPECT_EQ(implode::implode(readPipe, writePipe, area.get(), &pipe, mode, size), result);
        EXPECT_EQ(pipe.writes, 0u);
        for (auto parse : {implode::Parse::fast, implode::Parse::best}) {
            const auto imploded = implode::implodeBuffer(data, {mode, size, parse});
            EXPECT_EQ(imploded.result, result);
            EXPECT_TRUE(imploded.stream.empty());
        }
    }
}

TEST(ImplodeSettings, ReadSizesDoNotChangeTheStream) {
    for (const Sample& sample : corpus()) {
        SCOPED_TRACE(sample.name);
        if (sample.data.size() > 60000) {
            continue;
        }
        const Bytes whole = implodeWith(sample.data, kModeAscii, 2048);
        EXPECT_EQ(implodeWith(sample.data, kModeAscii, 2048, 1), whole);
        EXPECT_EQ(implodeWith(sample.data, kModeAscii, 2048, 517), whole);
        EXPECT_EQ(explodeWith(whole, 1).data, sample.data);
    }
}

TEST(ImplodeSettings, CopiesReachAcrossTheWholeWindow) {
    const Sample& repeat = corpus()[8];
    ASSERT_EQ(repeat.name, "far copies");
    for (auto parse : {implode::Parse::fast, implode::Parse::best}) {
        const auto small = implode::implodeBuffer(repeat.data, {kModeBinary, 4096, parse});
        EXPECT_LT(small.stream.size(), repeat.data.size() * 6 / 10);
        // A 2048 window cannot see the repeat.
        const auto large = implode::implodeBuffer(repeat.data, {kModeBinary, 2048, parse});
        EXPECT_GT(large.stream.size(), repeat.data.size());
    }
}

struct RoundTripCase {
    unsigned mode;
    unsigned dictSize;
    implode::Parse parse;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, OursToOurs) {
    const auto [mode, dictSize, parse] = GetParam();
    for (const Sample& sample : corpus()) {
        SCOPED_TRACE(sample.name);
        const auto imploded = implode::implodeBuffer(sample.data, {mode, dictSize, parse});
        ASSERT_EQ(imploded.result, implode::kResultOk);
        ASSERT_GE(imploded.stream.size(), 4u);
        EXPECT_EQ(imploded.stream[0], mode);
        EXPECT_EQ(1024u << (imploded.stream[1] - 4), dictSize);
        const auto exploded = implode::explodeBuffer(imploded.stream);
        EXPECT_EQ(exploded.result, implode::kResultOk);
        EXPECT_TRUE(exploded.data == sample.data);
    }
}

#if !defined(_WIN32) // StormLib is a host library
TEST_P(RoundTrip, OursToStorm) {
    const Storm* reference = storm();
    ASSERT_NE(reference, nullptr) << "StormLib not found; install libstorm-dev";
    const auto [mode, dictSize, parse] = GetParam();
    for (const Sample& sample : corpus()) {
        SCOPED_TRACE(sample.name);
        const auto imploded = implode::implodeBuffer(sample.data, {mode, dictSize, parse});
        if (imploded.stream.size() <= 4) {
            continue; // StormLib refuses a first read of 4 bytes or fewer
        }
        const Outcome exploded = reference->explode(imploded.stream);
        EXPECT_EQ(exploded.result, 0u);
        EXPECT_TRUE(exploded.data == sample.data);
    }
}
#endif

std::vector<RoundTripCase> allSettings() {
    std::vector<RoundTripCase> cases;
    for (unsigned mode : {kModeBinary, kModeAscii}) {
        for (unsigned size : {1024u, 2048u, 4096u}) {
            for (auto parse : {implode::Parse::fast, implode::Parse::best}) {
                cases.push_back({mode, size, parse});
            }
        }
    }
    return cases;
}

std::string settingsName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    return std::string(info.param.mode == kModeAscii ? "Ascii" : "Binary") +
           std::to_string(info.param.dictSize) +
           (info.param.parse == implode::Parse::best ? "Best" : "Fast");
}

INSTANTIATE_TEST_SUITE_P(AllSettings, RoundTrip, ::testing::ValuesIn(allSettings()), settingsName);

// Per mode and window, for what is not a matter of choosing the parse.
class EachWindow : public ::testing::TestWithParam<RoundTripCase> {};

#if !defined(_WIN32) // StormLib is a host library
TEST_P(EachWindow, StormToOurs) {
    const Storm* reference = storm();
    ASSERT_NE(reference, nullptr) << "StormLib not found; install libstorm-dev";
    const auto [mode, dictSize, parse] = GetParam();
    for (const Sample& sample : corpus()) {
        SCOPED_TRACE(sample.name);
        const Bytes stream = reference->implode(sample.data, mode, dictSize);
        const Outcome exploded = explodeWith(stream, sample.data.size() % 2 ? 1 : size_t(-1));
        EXPECT_EQ(exploded.result, implode::kResultOk);
        EXPECT_TRUE(exploded.data == sample.data);
    }
}
#endif

TEST_P(EachWindow, BestIsNeverLongerThanFast) {
    const auto [mode, dictSize, parse] = GetParam();
    for (const Sample& sample : corpus()) {
        SCOPED_TRACE(sample.name);
        const auto best =
            implode::implodeBuffer(sample.data, {mode, dictSize, implode::Parse::best});
        const auto fast =
            implode::implodeBuffer(sample.data, {mode, dictSize, implode::Parse::fast});
        EXPECT_LE(best.stream.size(), fast.stream.size());
    }
}

std::vector<RoundTripCase> windowSettings() {
    std::vector<RoundTripCase> cases;
    for (const RoundTripCase& c : allSettings()) {
        if (c.parse == implode::Parse::fast) {
            cases.push_back(c);
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllSettings, EachWindow, ::testing::ValuesIn(windowSettings()),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) {
                             return std::string(info.param.mode == kModeAscii ? "Ascii"
                                                                              : "Binary") +
                                    std::to_string(info.param.dictSize);
                         });

TEST(Crc32, StandardCheckValueAndPieces) {
    const Bytes digits = bytesOf("123456789");
    EXPECT_EQ(~implode::crc32(digits.data(), digits.size(), 0xFFFFFFFFu), 0xCBF43926u);
    EXPECT_EQ(implode::crc32(digits.data(), 0, 0x12345678u), 0x12345678u);
    const Bytes& text = corpus()[5].data;
    const std::uint32_t whole = implode::crc32(text.data(), text.size(), 0);
    std::uint32_t pieces = 0;
    for (std::size_t at = 0; at < text.size(); at += 777) {
        pieces =
            implode::crc32(text.data() + at, std::min<std::size_t>(777, text.size() - at), pieces);
    }
    EXPECT_EQ(pieces, whole);
}

TEST(ExportedLibrary, ExactlyTheThreeEntryPointsWork) {
    SharedLibrary library(IMPLODE_TEST_IMPBORL_LIBRARY);
    ASSERT_TRUE(library.loaded());
    const auto implodeEntry = library.symbol<CImplodeFn>("_implode");
    const auto explodeEntry = library.symbol<CExplodeFn>("_explode");
    const auto crcEntry = library.symbol<CrcFn>("_crc32");
    ASSERT_NE(implodeEntry, nullptr);
    ASSERT_NE(explodeEntry, nullptr);
    ASSERT_NE(crcEntry, nullptr);
    EXPECT_EQ(library.symbol<CExplodeFn>("impborl_explode"), nullptr);
    EXPECT_EQ(library.symbol<CExplodeFn>("explode"), nullptr);

    const Bytes& data = corpus()[5].data;
    Pipe in{data};
    WorkArea implodeArea(implode::kImplodeWorkAreaSize);
    unsigned int type = kModeAscii;
    unsigned int size = 2048;
    ASSERT_EQ(implodeEntry(readPipe, writePipe, implodeArea.get(), &in, &type, &size), 0u);
    Pipe out{in.output};
    out.readChunk = 1000;
    WorkArea explodeArea(implode::kExplodeWorkAreaSize);
    ASSERT_EQ(explodeEntry(readPipe, writePipe, explodeArea.get(), &out), 0u);
    EXPECT_TRUE(out.output == data);
    EXPECT_GT(out.writes, 1u);

    Bytes digits = bytesOf("123456789");
    unsigned int count = 9;
    unsigned long crc = 0xFFFFFFFFul;
    EXPECT_EQ(crcEntry(reinterpret_cast<char*>(digits.data()), &count, &crc), 0x340BC6D9ul);
    EXPECT_EQ(crc, 0x340BC6D9ul);
}

} // namespace
