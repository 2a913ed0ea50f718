#include "flash/swf_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>

#include "fakes/fake_platform.h"

namespace {

using namespace std::string_literals;

const std::string kLocal = "C:\\Documents and Settings\\User\\Local Settings\\Application Data";
const std::string kTempFolder = kLocal + "\\Vellarmont\\FlashPanel1\\";
const std::string kMoviePath = "C:\\Movies\\preview.swf";

std::string le32(std::uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}

// A frame rectangle: Nbits, then Xmin, Xmax, Ymin and Ymax, padded to a byte.
std::string rectangle(std::uint32_t nbits, std::uint32_t xmin, std::uint32_t xmax,
                      std::uint32_t ymin, std::uint32_t ymax) {
    std::vector<bool> bits;
    const auto push = [&](std::uint32_t value, std::uint32_t width) {
        for (std::uint32_t i = width; i-- > 0;)
            bits.push_back((value >> i) & 1u);
    };
    push(nbits, 5);
    for (std::uint32_t value : {xmin, xmax, ymin, ymax})
        push(value, nbits);
    std::string out((bits.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    return out;
}

const std::string kRect550x400 = rectangle(15, 0, 20 * 550, 0, 20 * 400);

std::string tag(std::uint32_t code, const std::string& body) {
    const std::uint32_t header = (code << 6) | static_cast<std::uint32_t>(body.size());
    return std::string{static_cast<char>(header), static_cast<char>(header >> 8)} + body;
}
std::string longTagHeader(std::uint32_t code, std::uint32_t length) {
    const std::uint32_t header = (code << 6) | 63u;
    return std::string{static_cast<char>(header), static_cast<char>(header >> 8)} + le32(length);
}
std::string background(char r, char g, char b) {
    return tag(9, {r, g, b});
}
const std::string kEnd = tag(0, "");

// Everything behind the 8-byte header: rectangle, frame rate and count, tags.
std::string body(const std::string& tags, const std::string& rect = kRect550x400) {
    return rect + "\x00\x0c\x01\x00"s + tags;
}

// A movie; its file length is the real one unless given.
std::string movie(const std::string& rest, std::uint8_t version = 9,
                  std::optional<std::uint32_t> length = std::nullopt,
                  const std::string& signature = "FWS") {
    return signature + static_cast<char>(version) +
           le32(length.value_or(static_cast<std::uint32_t>(8 + rest.size()))) + rest;
}

std::string deflated(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(data.data()),
                       static_cast<uLong>(data.size())),
              Z_OK);
    out.resize(size);
    return out;
}

// The compressed form of an uncompressed movie: same version and length.
std::string compressedMovie(const std::string& fws) {
    return "CWS" + fws.substr(3, 5) + deflated(fws.substr(8));
}

// A zlib stream of `head` followed by `zeros` zero bytes, made piecewise so
// that the expansion is never held whole.
std::string deflatedWithZeros(const std::string& head, std::uint64_t zeros) {
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, Z_BEST_SPEED), Z_OK);
    std::string out;
    std::string output(1 << 16, '\0');
    const std::string block(1 << 16, '\0');
    const auto feed = [&](const std::string& input, std::size_t size, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        stream.avail_in = static_cast<uInt>(size);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(output.data());
            stream.avail_out = static_cast<uInt>(output.size());
            deflate(&stream, flush);
            out.append(output.data(), output.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    feed(head, head.size(), Z_NO_FLUSH);
    for (; zeros > block.size(); zeros -= block.size())
        feed(block, block.size(), Z_NO_FLUSH);
    feed(block, static_cast<std::size_t>(zeros), Z_FINISH);
    deflateEnd(&stream);
    return out;
}

// Bytes that zlib cannot shrink.
std::string noise(std::size_t size) {
    std::string out;
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        out += static_cast<char>(state >> 24);
    }
    return out;
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Text that holds no flag names, to fill the script window with.
std::string filler(std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i)
        out += static_cast<char>('a' + i % 7);
    return out;
}

struct SwfReader : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    SwfMovieInfo info;
    void SetUp() override {
        fakes.files.addFolder(kLocal);
        fakes.files.addFolder("C:\\Movies");
    }
    ResultCode read(const std::string& bytes) {
        fakes.files.addFile(kMoviePath, bytes);
        return readSWFFile_FWS_Format(platform, kMoviePath, info);
    }
    ResultCode inflate(const std::string& bytes) {
        fakes.files.addFile(kMoviePath, bytes);
        return inflateSWFFileToTempFile(platform, kMoviePath, info);
    }
};

TEST_F(SwfReader, SignatureChoosesThePath) {
    const struct {
        std::string bytes;
        ResultCode expected;
    } cases[] = {
        {"FWS\x09", result::kOk},          {"CWS\x09", result::kOk},     {"CWS", result::kOk},
        {"fws\x09", result::kNotSwfMovie}, {"FW", result::kNotSwfMovie}, {"", result::kNotSwfMovie},
        {"ZWS\x09", result::kNotSwfMovie},
    };
    for (const auto& c : cases) {
        fakes.files.addFile(kMoviePath, c.bytes);
        EXPECT_EQ(readSWFFileFormatType(platform, kMoviePath, info), c.expected) << c.bytes;
        EXPECT_EQ(info.swfSignature, c.bytes.substr(0, 3));
    }
    info.swfSignature = "FWS";
    EXPECT_EQ(readSWFFileFormatType(platform, "C:\\Movies\\none.swf", info), result::kOk);
    EXPECT_EQ(info.swfSignature, "FWS") << "a missing movie leaves the signature alone";

    EXPECT_EQ(read(compressedMovie(movie(body(kEnd)))), result::kNotSwfMovie)
        << "the uncompressed reader insists on FWS";
}

TEST_F(SwfReader, VersionsFrom3To11) {
    const struct {
        std::uint8_t version;
        ResultCode expected;
    } cases[] = {{2, result::kSwfVersionTooLow},
                 {3, result::kOk},
                 {11, result::kOk},
                 {12, result::kSwfVersionTooHigh},
                 {0, result::kSwfVersionTooLow},
                 {255, result::kSwfVersionTooHigh}};
    for (const auto& c : cases) {
        info.frameWidth = -7;
        EXPECT_EQ(read(movie(body(kEnd), c.version)), c.expected) << int(c.version);
        EXPECT_EQ(info.swfVersion, c.version);
        EXPECT_EQ(info.frameWidth, c.expected == result::kOk ? 550 : -7)
            << "nothing more is read after a refused version";
    }
}

TEST_F(SwfReader, EndAsFirstTagKeepsTheResetValues) {
    info.bgRed = info.bgGreen = info.bgBlue = 77;
    info.allowScale = info.fullScreen = -2;
    ASSERT_EQ(read(movie(body(kEnd + background(1, 2, 3) + "ALLOWSCALE\0f"s))), result::kOk);
    EXPECT_EQ(info.bgRed, 0);
    EXPECT_EQ(info.bgGreen, 0);
    EXPECT_EQ(info.bgBlue, 0);
    EXPECT_EQ(info.allowScale, kScriptFlagTrue);
    EXPECT_EQ(info.fullScreen, kScriptFlagTrue);
    EXPECT_EQ(info.frameWidth, 550);
    EXPECT_EQ(info.frameHeight, 400);

    info.swfVersion = 9;
    EXPECT_EQ(readSWFFile_FWS_Format(platform, "C:\\Movies\\none.swf", info), result::kOk);
    EXPECT_EQ(info.swfVersion, 0) << "a missing movie is reset and passes";
}

TEST_F(SwfReader, FrameRectangleAndTheTagBehindIt) {
    const struct {
        std::string rect;
        std::int32_t width, height;
    } cases[] = {
        {kRect550x400, 550, 400},
        {rectangle(15, 1, 20 * 550, 0, 20 * 400), 550, 400}, // Xmin does not shorten the width
        {rectangle(15, 0, 20 * 550 + 19, 3, 20 * 400 + 1), 550, 400}, // truncated
        {rectangle(0, 0, 0, 0, 0), 0, 0},                             // one byte
        {rectangle(31, 5, 0x7FFFFFFF, 0, 0x7FFFFFFE), 0x7FFFFFFF / 20, 0x7FFFFFFE / 20}, // 17 bytes
        {rectangle(13, 0, 8191, 0, 20 * 300), 409, 300},
    };
    EXPECT_EQ(kRect550x400.size(), 9u);
    for (const auto& c : cases) {
        ASSERT_EQ(read(movie(body(background(0x11, 0x22, 0x33) + "  ", c.rect))), result::kOk);
        EXPECT_EQ(info.frameWidth, c.width);
        EXPECT_EQ(info.frameHeight, c.height);
        EXPECT_EQ(info.bgRed, 0x11) << "the tag right behind a " << c.rect.size() << "-byte rect";
        EXPECT_EQ(info.bgBlue, 0x33);
    }
}

TEST_F(SwfReader, TagWalkSkipsBodiesToTheBackground) {
    // Bodies that would read as a background tag if they were not skipped.
    const std::string decoy = background(0x66, 0x66, 0x66);
    const struct {
        const char* what;
        std::string tags;
    } cases[] = {
        {"length 0", tag(1, "") + tag(43, "")},
        {"short body", tag(2, decoy + std::string(57, 'x'))},
        {"long body of 100", longTagHeader(12, 100) + decoy + std::string(95, 'x')},
        {"long body of 0", longTagHeader(12, 0) + tag(1, "")},
        {"long body beyond a block", longTagHeader(20, 5000) + std::string(5000, '\x09')},
        {"mixed", tag(1, "") + longTagHeader(12, 100) + std::string(100, '\x02') + tag(2, decoy)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(read(movie(body(c.tags + background(0x10, 0x20, 0x30) + "  "))), result::kOk)
            << c.what;
        EXPECT_EQ(info.bgRed, 0x10) << c.what;
        EXPECT_EQ(info.bgGreen, 0x20) << c.what;
        EXPECT_EQ(info.bgBlue, 0x30) << c.what;
    }
    // A background body of more than 3 bytes is read whole.
    ASSERT_EQ(read(movie(body(tag(9, "\x01\x02\x03\x04\x05") + "ALLOWSCALE\0f"s))), result::kOk);
    EXPECT_EQ(info.bgBlue, 3);
    EXPECT_EQ(info.allowScale, kScriptFlagFalse);
}

TEST_F(SwfReader, ScriptFlagWindowRules) {
    const struct {
        std::string window;
        std::int32_t expected;
    } cases[] = {
        {"AllowScale\0False\0"s, kScriptFlagFalse},
        {"..allowscale\0true"s, kScriptFlagTrue},
        {"ALLOWSCALExt"s, kScriptFlagTrue}, // any byte, then t
        {"allowscalE\0T"s, kScriptFlagTrue},
        {"ALLOWSCALE\0q"s, kScriptFlagOtherValue},
        {"ALLOWSCALE\0f"s, kScriptFlagFalse},    // the last usable start
        {"ALLOWSCALE\0"s, kScriptFlagNotFound},  // ends one byte before the window's end
        {"xALLOWSCALE\0"s, kScriptFlagNotFound}, // the same further on
        {"ALLOWSCALE"s, kScriptFlagNotFound},
        {"ALLOWSCAL"s, kScriptFlagNotFound},
        {""s, kScriptFlagNotFound},
        {"ALLOWSCALE\0fALLOWSCALE\0t"s, kScriptFlagFalse}, // the first occurrence counts
        {"ALLOWSCALE\0xALLOWSCALE\0t"s, kScriptFlagOtherValue},
        {"ALLOWSCALE ALLOWSCALE\0t"s, kScriptFlagOtherValue},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findScriptFlag("ALLOWSCALE", bytesOf(c.window)), c.expected) << c.window;
    EXPECT_EQ(findScriptFlag("fullScreen", bytesOf("FULLSCREEN\0false"s)), kScriptFlagFalse);
}

TEST_F(SwfReader, ScriptFlagWindowIsBoundedByLengthAnd2000Bytes) {
    // 33 bytes; the fullScreen value is the 29th.
    const std::string flags = "ALLOWSCALE\0false\0fullscreen\0true\0"s;
    const std::string head = body(background(1, 2, 3));
    const struct {
        const char* what;
        std::string scripts;
        std::optional<std::uint32_t> length;
        std::int32_t allowScale, fullScreen;
    } cases[] = {
        {"both flags", flags, std::nullopt, kScriptFlagFalse, kScriptFlagTrue},
        {"none", filler(300), std::nullopt, kScriptFlagNotFound, kScriptFlagNotFound},
        {"value at byte 2000", filler(2000 - 29) + flags, std::nullopt, kScriptFlagFalse,
         kScriptFlagTrue},
        {"value behind byte 2000", filler(2000 - 28) + flags, std::nullopt, kScriptFlagFalse,
         kScriptFlagNotFound},
        {"value behind the file length", flags, static_cast<std::uint32_t>(8 + head.size() + 11),
         kScriptFlagNotFound, kScriptFlagNotFound},
        {"value at the file length", flags, static_cast<std::uint32_t>(8 + head.size() + 12),
         kScriptFlagFalse, kScriptFlagNotFound},
        {"one byte window", flags, static_cast<std::uint32_t>(8 + head.size() + 1),
         kScriptFlagNotFound, kScriptFlagNotFound},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(read(movie(head + c.scripts, 9, c.length)), result::kOk) << c.what;
        EXPECT_EQ(info.allowScale, c.allowScale) << c.what;
        EXPECT_EQ(info.fullScreen, c.fullScreen) << c.what;
    }
}

TEST_F(SwfReader, MalformedMoviesGiveTheirCodes) {
    const std::string head = body("");
    const struct {
        const char* what;
        std::string bytes;
        ResultCode expected;
    } cases[] = {
        {"signature alone", "FWS", result::kSwfEndsEarly},
        {"inside the file length", "FWS\x09\x10\x00"s, result::kSwfEndsEarly},
        {"no rectangle", movie(""), result::kSwfEndsEarly},
        {"inside the rectangle", movie(kRect550x400.substr(0, 8)), result::kSwfEndsEarly},
        {"inside the frame count", movie(kRect550x400 + "\x00\x0c\x01"s), result::kSwfEndsEarly},
        {"no tag", movie(head), result::kSwfEndsEarly},
        {"inside a tag header", movie(head + "\x40"), result::kSwfEndsEarly},
        {"inside a tag body", movie(head + tag(2, "0123456789").substr(0, 7)),
         result::kSwfEndsEarly},
        {"inside a long length", movie(head + longTagHeader(2, 10).substr(0, 4)),
         result::kSwfEndsEarly},
        {"longest length, short file", movie(head + longTagHeader(2, 0x7FFFFFFF) + "abc"),
         result::kSwfEndsEarly},
        {"long length 2^31", movie(head + longTagHeader(2, 0x80000000) + "abc"),
         result::kSwfTagTooLong},
        {"long length 2^32-1", movie(head + longTagHeader(2, 0xFFFFFFFF)), result::kSwfTagTooLong},
        {"background of 2", movie(head + tag(9, "\x01\x02") + "  "),
         result::kSwfBackgroundTooShort},
        {"background of 0", movie(head + tag(9, "") + "  "), result::kSwfBackgroundTooShort},
        {"inside the background", movie(head + tag(9, "\x01\x02\x03").substr(0, 4)),
         result::kSwfEndsEarly},
        {"no byte behind the background",
         movie(head + background(1, 2, 3) + "tail", 9, 8 + head.size() + 5),
         result::kSwfNoScriptWindow},
        {"length before the background", movie(head + background(1, 2, 3) + "tail", 9, 4),
         result::kSwfNoScriptWindow},
        {"window past the end", movie(head + background(1, 2, 3) + "tail", 9, 5000),
         result::kSwfEndsEarly},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.bytes), c.expected) << c.what;

    fakes.files.holdOpen(kMoviePath);
    EXPECT_EQ(readSWFFile_FWS_Format(platform, kMoviePath, info),
              static_cast<ResultCode>(platform::kErrorSharingViolation));
    EXPECT_EQ(readSWFFileFormatType(platform, kMoviePath, info),
              static_cast<ResultCode>(platform::kErrorSharingViolation));
}

TEST_F(SwfReader, CompressedMovieExpandsToTheSameVersionAndLength) {
    const std::string scripts = "fullscreen\0false\0"s;
    std::string fws = movie(body(tag(2, "abc") + background(4, 5, 6) + scripts));
    fws += filler(5000 - fws.size());
    fws.replace(4, 4, le32(5000));
    fws[3] = 9;
    const std::string cws = compressedMovie(fws);

    ASSERT_EQ(inflate(cws), result::kOk);
    EXPECT_EQ(info.swfTempFolder, kTempFolder);
    EXPECT_EQ(fakes.files.content(kTempFolder + "unCompressedSWF.swf"), fws);
    EXPECT_EQ(fakes.files.content(kTempFolder + "compressedSWFSegment.swf"), cws.substr(8));
    EXPECT_EQ(fakes.files.content(kMoviePath), cws) << "the movie itself is left alone";

    ASSERT_EQ(readSWFFile_FWS_Format(platform, info.swfTempFolder + kExpandedMovieName, info),
              result::kOk);
    EXPECT_EQ(info.swfVersion, 9);
    EXPECT_EQ(info.bgGreen, 5);
    EXPECT_EQ(info.fullScreen, kScriptFlagFalse);
    EXPECT_EQ(info.allowScale, kScriptFlagNotFound);
}

TEST_F(SwfReader, TemporaryFolderIsMadeOnceAndReused) {
    EXPECT_EQ(inflateSWFFileToTempFile(platform, "C:\\Movies\\none.swf", info), result::kOk);
    EXPECT_EQ(info.swfTempFolder, kTempFolder) << "made even for a missing movie";
    EXPECT_FALSE(fakes.files.exists(kTempFolder + kCompressedSegmentName));

    const std::string first = movie(body(background(1, 1, 1) + filler(3000)));
    const std::string second = movie(body(background(2, 2, 2) + "  "), 11);
    ASSERT_EQ(inflate(compressedMovie(first)), result::kOk);
    ASSERT_EQ(inflate(compressedMovie(second)), result::kOk);
    EXPECT_EQ(info.swfTempFolder, kTempFolder);
    EXPECT_FALSE(fakes.files.exists(kLocal + "\\Vellarmont\\FlashPanel2"));
    EXPECT_EQ(fakes.files.content(kTempFolder + kExpandedMovieName), second);
    EXPECT_EQ(fakes.files.content(kTempFolder + kCompressedSegmentName),
              compressedMovie(second).substr(8));

    // A panel whose folder cannot be made gets the system's error and no folder.
    SwfMovieInfo other;
    fakes.files.denyAccess(kLocal + "\\Vellarmont");
    EXPECT_EQ(inflateSWFFileToTempFile(platform, kMoviePath, other),
              static_cast<ResultCode>(platform::kErrorAccessDenied));
    EXPECT_EQ(other.swfTempFolder, "");
}

TEST_F(SwfReader, MalformedCompressedMoviesGiveTheirCodes) {
    const std::string fws = movie(body(background(1, 2, 3) + filler(4000)));
    const std::string cws = compressedMovie(fws);
    std::string corrupt = cws;
    corrupt.back() = static_cast<char>(corrupt.back() ^ 1); // the check value
    const struct {
        const char* what;
        std::string bytes;
        ResultCode expected;
    } cases[] = {
        {"inside the header", "CWS\x09\x10", result::kSwfEndsEarly},
        {"no zlib stream", cws.substr(0, 8), result::kSwfBadCompression},
        {"not zlib", cws.substr(0, 8) + "this is no zlib stream", result::kSwfBadCompression},
        {"corrupt", corrupt, result::kSwfBadCompression},
        {"truncated", cws.substr(0, cws.size() / 2), result::kSwfBadCompression},
        {"without its check value", cws.substr(0, cws.size() - 4), result::kSwfBadCompression},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(inflate(c.bytes), c.expected) << c.what;
        // The folder was made for this movie alone: it goes with it.
        EXPECT_FALSE(fakes.files.exists(kTempFolder)) << c.what;
        EXPECT_EQ(info.swfTempFolder, "") << c.what;
    }

    // Temporary files that cannot be made: the expanded copy, then the
    // segment. The folder of an earlier movie stays.
    ASSERT_EQ(inflate(cws), result::kOk);
    fakes.files.holdOpen(kTempFolder + kExpandedMovieName);
    EXPECT_EQ(inflate(cws), result::kSwfTempFileFailed);
    EXPECT_FALSE(fakes.files.exists(kTempFolder + kCompressedSegmentName));
    EXPECT_EQ(info.swfTempFolder, kTempFolder);
    fakes.files.denyAccess(kTempFolder);
    EXPECT_EQ(inflate(cws), result::kSwfTempFileFailed);
    fakes.files.holdOpen(kMoviePath);
    EXPECT_EQ(inflateSWFFileToTempFile(platform, kMoviePath, info),
              static_cast<ResultCode>(platform::kErrorSharingViolation));
}

TEST_F(SwfReader, CompressedMovieIsExpandedWholeUpToTheCap) {
    // The value of ALLOWSCALE is the window's 12th byte.
    const std::string head = body(background(1, 2, 3));
    const std::string rest = head + "ALLOWSCALE\0false\0"s;
    const auto atWindow = static_cast<std::uint32_t>(8 + head.size());
    const auto real = static_cast<std::uint32_t>(8 + rest.size());
    const struct {
        const char* what;
        std::uint32_t length; // in the header
        std::uint64_t zeros;  // expanded behind `rest`
        ResultCode inflated, read;
        std::int32_t allowScale;
    } cases[] = {
        {"shorter than its header", real + 1, 0, result::kOk, result::kSwfEndsEarly, 0},
        {"as long as its header", real, 0, result::kOk, result::kOk, kScriptFlagFalse},
        {"longer, the window ends at the header's length", atWindow + 11, 0, result::kOk,
         result::kOk, kScriptFlagNotFound},
        {"length below the header itself", 7, 0, result::kOk, result::kSwfNoScriptWindow, 0},
        {"one byte past the cap", real, kMaxExpandedMovieSize - real + 1,
         result::kSwfExpandedTooLarge, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string header = "\x09"s + le32(c.length);
        ASSERT_EQ(inflate("CWS" + header + deflatedWithZeros(rest, c.zeros)), c.inflated);
        if (c.inflated != result::kOk) {
            EXPECT_FALSE(fakes.files.exists(kTempFolder + kExpandedMovieName));
            EXPECT_FALSE(fakes.files.exists(kTempFolder + kCompressedSegmentName));
            continue;
        }
        EXPECT_EQ(fakes.files.content(kTempFolder + kExpandedMovieName), "FWS" + header + rest);
        EXPECT_EQ(readSWFFile_FWS_Format(platform, kTempFolder + kExpandedMovieName, info), c.read);
        EXPECT_EQ(info.bgBlue, 3);
        if (c.read == result::kOk) {
            EXPECT_EQ(info.allowScale, c.allowScale);
        }
    }
}

TEST_F(SwfReader, AReadFailingWhileExpandingLeavesNoTemporaryFiles) {
    constexpr platform::WinError kErrorCrc = 23; // a disk that cannot be read
    const std::string cws = compressedMovie(movie(body(background(1, 2, 3) + noise(6000))));
    ASSERT_GT(cws.size(), 6000u);
    const struct {
        const char* what;
        bool earlierMovie; // the panel's folder was made before
        std::string failing;
        std::uint64_t afterBytes;
        ResultCode expected;
    } cases[] = {
        {"the movie, inside its header", false, kMoviePath, 5, kErrorCrc},
        {"the movie, while copying", false, kMoviePath, 3000, kErrorCrc},
        {"the movie, with a folder made before", true, kMoviePath, 3000, kErrorCrc},
        {"the segment, while expanding", true, kTempFolder + kCompressedSegmentName, 1000,
         result::kSwfTempFileFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform machine;
        machine.files.addFolder(kLocal);
        machine.files.addFile(kMoviePath, cws);
        platform::Platform seam = machine.platform();
        SwfMovieInfo panelMovie;
        if (c.earlierMovie) {
            ASSERT_EQ(inflateSWFFileToTempFile(seam, kMoviePath, panelMovie), result::kOk);
        }
        machine.files.failReading(c.failing, c.afterBytes, kErrorCrc);

        EXPECT_EQ(inflateSWFFileToTempFile(seam, kMoviePath, panelMovie), c.expected);
        EXPECT_FALSE(machine.files.exists(kTempFolder + kCompressedSegmentName));
        EXPECT_FALSE(machine.files.exists(kTempFolder + kExpandedMovieName));
        EXPECT_EQ(machine.files.exists(kTempFolder), c.earlierMovie);
        EXPECT_EQ(panelMovie.swfTempFolder, c.earlierMovie ? kTempFolder : "");
    }
}

TEST(SwfTagHeader, CodeLengthAndLongLengths) {
    std::uint32_t code = 0, length = 0;
    const std::uint8_t background[2] = {0x43, 0x02}; // 9 << 6 | 3
    EXPECT_TRUE(isBackgroundColorTag(background, code, length));
    EXPECT_EQ(code, 9u);
    EXPECT_EQ(length, 3u);
    const std::uint8_t longShowFrame[2] = {0xFF, 0xFF};
    EXPECT_FALSE(isBackgroundColorTag(longShowFrame, code, length));
    EXPECT_EQ(code, 1023u);
    EXPECT_EQ(length, 63u);
    const std::uint8_t bytes[4] = {0x01, 0x02, 0x03, 0x84};
    EXPECT_EQ(convertBytesToDecimal(bytes), 0x84030201u);
}

} // namespace
