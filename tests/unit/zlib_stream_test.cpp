#include "payload/compression/zlib_stream.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<std::uint8_t> compressed(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> sample(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t x = 12345;
    for (auto& b : data) {
        x = x * 1103515245 + 12345;
        b = static_cast<std::uint8_t>("abcdefgh"[(x >> 16) % 8]);
    }
    return data;
}

TEST(ZlibStream, ReadsTheWholeStreamInPieces) {
    const auto data = sample(300000);
    MemoryStream source(compressed(data));
    TZDecompressionStream stream(source);
    std::vector<std::uint8_t> out(data.size());
    std::int64_t done = 0;
    while (done < static_cast<std::int64_t>(out.size())) {
        const std::int64_t got = stream.Read(out.data() + done, 7777);
        ASSERT_GT(got, 0);
        done += got;
    }
    EXPECT_EQ(out, data);
    std::uint8_t more = 0;
    EXPECT_EQ(stream.Read(&more, 1), 0) << "after the end";
    EXPECT_EQ(stream.Read(&more, 1), 0);
}

TEST(ZlibStream, SourceStandsRightBehindTheStream) {
    const auto data = sample(100000); // the stream spans more than one input block
    auto bytes = compressed(data);
    const std::size_t streamEnd = bytes.size();
    const std::string trailer = "TRAILER";
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    MemoryStream source(bytes);
    TZDecompressionStream stream(source);
    std::vector<std::uint8_t> out(data.size() + 10);
    std::int64_t done = 0;
    for (std::int64_t got; (got = stream.Read(out.data() + done, 65536)) > 0;)
        done += got;
    EXPECT_EQ(done, static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(source.Position(), static_cast<std::int64_t>(streamEnd));
    char rest[8] = {};
    EXPECT_EQ(source.Read(rest, 7), 7);
    EXPECT_EQ(std::string(rest), trailer);
}

TEST(ZlibStream, StartsAtTheSourcesPosition) {
    const auto data = sample(1000);
    std::vector<std::uint8_t> bytes = {'F', 'W', 'S', 9};
    const auto body = compressed(data);
    bytes.insert(bytes.end(), body.begin(), body.end());
    MemoryStream source(bytes);
    source.Seek(4, platform::SeekOrigin::Begin);
    TZDecompressionStream stream(source);
    source.Seek(0, platform::SeekOrigin::Begin); // someone moved it meanwhile
    std::vector<std::uint8_t> out(data.size());
    EXPECT_EQ(stream.Read(out.data(), 1000), 1000);
    EXPECT_EQ(out, data);
}

TEST(ZlibStream, SeekRules) {
    const auto data = sample(50000);
    MemoryStream source(compressed(data));
    TZDecompressionStream stream(source);
    std::vector<std::uint8_t> out(100);
    ASSERT_EQ(stream.Read(out.data(), 100), 100);
    EXPECT_EQ(stream.Seek(0, platform::SeekOrigin::Current), 100);
    try {
        stream.Seek(10, platform::SeekOrigin::Begin);
        FAIL() << "a backward seek is refused";
    } catch (const EZDecompressionError& error) {
        EXPECT_STREQ(error.what(), "Invalid ZStream operation!");
    }
    EXPECT_EQ(stream.Seek(900, platform::SeekOrigin::Current), 1000);
    EXPECT_EQ(stream.Seek(20000, platform::SeekOrigin::Begin), 20000);
    std::uint8_t b = 0;
    ASSERT_EQ(stream.Read(&b, 1), 1);
    EXPECT_EQ(b, data[20000]);
    EXPECT_EQ(stream.Seek(0, platform::SeekOrigin::End), 50000);
    EXPECT_THROW(stream.Seek(-1, platform::SeekOrigin::Current), EZDecompressionError);
    EXPECT_THROW(stream.Seek(5, platform::SeekOrigin::End), EZDecompressionError);
    EXPECT_EQ(stream.Seek(0, platform::SeekOrigin::Begin), 0) << "a rewind starts again";
    ASSERT_EQ(stream.Read(out.data(), 100), 100);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    EXPECT_THROW(stream.Write("x", 1), EZDecompressionError);
}

TEST(ZlibStream, CorruptStreamRaisesDataError) {
    auto bytes = compressed(sample(5000));
    bytes[0] = 0x78;
    bytes[1] = 0x9C;
    for (std::size_t i = 2; i < 12; ++i)
        bytes[i] = 0xFF;
    MemoryStream source(bytes);
    TZDecompressionStream stream(source);
    std::vector<std::uint8_t> out(5000);
    try {
        stream.Read(out.data(), 5000);
        FAIL() << "no error";
    } catch (const EZDecompressionError& error) {
        EXPECT_STREQ(error.what(), "data error");
    }
}

TEST(ZlibStream, HostileInputsEndWithoutHanging) {
    // A header that asks for a preset dictionary.
    MemoryStream dictionary(std::vector<std::uint8_t>{0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x01});
    TZDecompressionStream asksDictionary(dictionary);
    std::uint8_t out[64];
    EXPECT_EQ(asksDictionary.Read(out, 64), 0);
    EXPECT_EQ(asksDictionary.Read(out, 64), 0);

    // A truncated stream gives what it has, then nothing.
    auto bytes = compressed(sample(20000));
    bytes.resize(bytes.size() / 2);
    MemoryStream truncated(bytes);
    TZDecompressionStream partial(truncated);
    std::vector<std::uint8_t> big(20000);
    const std::int64_t got = partial.Read(big.data(), 20000);
    EXPECT_GT(got, 0);
    EXPECT_LT(got, 20000);
    EXPECT_EQ(partial.Read(big.data(), 20000), 0);

    // Random bytes: an error or an end, never a crash.
    std::uint32_t x = 99;
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> noise(200);
        for (auto& b : noise) {
            x = x * 1664525 + 1013904223;
            b = static_cast<std::uint8_t>(x >> 24);
        }
        noise[0] = 0x78, noise[1] = 0x9C;
        MemoryStream source(noise);
        try {
            TZDecompressionStream stream(source);
            while (stream.Read(big.data(), 4096) > 0) {
            }
        } catch (const EZLibError&) {
        }
    }
}

TEST(ZlibStream, CodeTexts) {
    EXPECT_EQ(checkZlibCode(Z_OK), Z_OK);
    EXPECT_EQ(checkZlibCode(Z_STREAM_END), Z_STREAM_END);
    EXPECT_EQ(checkZlibCode(Z_NEED_DICT), Z_NEED_DICT);
    const std::pair<int, const char*> raised[] = {
        {-1, "file error"},          {-2, "stream error"}, {-3, "data error"},
        {-4, "insufficient memory"}, {-5, "buffer error"}, {-6, "incompatible version"}};
    for (const auto& [code, text] : raised) {
        try {
            checkZlibCode(code);
            FAIL() << code;
        } catch (const EZDecompressionError& error) {
            EXPECT_STREQ(error.what(), text);
        }
    }
}

} // namespace
