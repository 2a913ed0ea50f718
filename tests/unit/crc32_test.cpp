#include "system/crc32.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace {

TEST(Crc32, CheckValuesOfTheStandardCrc) {
    fake::FakeUserInterface ui;
    std::uint32_t crc = 7;
    crc32OfText(ui, "123456789", crc);
    EXPECT_EQ(crc, 0xCBF43926u);
    crc32OfText(ui, "", crc);
    EXPECT_EQ(crc, 0u);
    crc32OfText(ui, "Aquarium Screen Saver", crc);
    EXPECT_EQ(crc, 253165405u);
    crc32OfText(ui, "My Best Saver", crc);
    EXPECT_EQ(crc, 1905346947u);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST(Crc32, UpdateHasNoComplementAndChains) {
    const std::uint8_t bytes[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    std::uint32_t whole = 0xFFFFFFFF;
    crc32Update(bytes, 9, whole);
    std::uint32_t parts = 0xFFFFFFFF;
    crc32Update(bytes, 4, parts);
    crc32Update(bytes + 4, 5, parts);
    EXPECT_EQ(whole, parts);
    EXPECT_EQ(~whole, 0xCBF43926u);
    std::uint32_t zero = 0;
    const std::uint8_t nul = 0;
    crc32Update(&nul, 1, zero);
    EXPECT_EQ(zero, 0u) << "table[0] is 0 and no complement is applied";
}

TEST(Crc32, StoredTableIsTheStandardTable) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        ASSERT_EQ(kCrc32Table[n], c) << "entry " << n;
    }
}

TEST(Crc32, DamagedTableShowsTheSelfTestMessageAndLeavesTheValue) {
    Crc32Table damaged = kCrc32Table;
    damaged[17] ^= 0x100;
    fake::FakeUserInterface ui;
    std::uint32_t crc = 0;
    crc32OfText(ui, "Aquarium Screen Saver", crc, damaged);
    EXPECT_EQ(crc, 0u);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    const std::string& text = ui.messageBoxes[0];
    ASSERT_EQ(text.size(), std::string("CRC32 Table CRC32 is ").size() + 8 +
                               std::string(", expecting $6FCF9E13").size());
    EXPECT_EQ(text.rfind("CRC32 Table CRC32 is ", 0), 0u);
    EXPECT_EQ(text.substr(29), ", expecting $6FCF9E13");
    const std::string hex = text.substr(21, 8);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    EXPECT_NE(hex, "6FCF9E13");
    // The message names the actual CRC of the damaged table.
    std::uint8_t bytes[1024];
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<std::uint8_t>(damaged[i] >> (8 * b));
    std::uint32_t reg = 0xFFFFFFFF;
    crc32Update(bytes, sizeof bytes, reg, damaged);
    char expected[9];
    std::snprintf(expected, sizeof expected, "%08X", ~reg);
    EXPECT_EQ(hex, expected);
}

} // namespace
