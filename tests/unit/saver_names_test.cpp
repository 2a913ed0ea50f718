#include "system/saver_names.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "system/crc32.h"

namespace {

struct SaverNames : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    std::string shortName(std::string_view title) {
        return getCodedShortFilenameForScreensaver(platform, title);
    }
};

TEST_F(SaverNames, CodedShortNamesOfTheWorkedTitles) {
    EXPECT_EQ(shortName("Aquarium Screen Saver"), "Aqua5405");
    EXPECT_EQ(shortName("My Best Saver"), "My B6947");
}

TEST_F(SaverNames, TitlesThatStayAsTheyAre) {
    EXPECT_EQ(shortName("aquarium screen saver"), "aquarium screen saver");
    EXPECT_EQ(shortName("Sea Life"), "Sea Life");
    EXPECT_EQ(shortName("SEA LIFE"), "SEA LIFE") << "8 characters are never coded";
    EXPECT_EQ(shortName(""), "");
    EXPECT_EQ(shortName("12345678901 -_"), "12345678901 -_") << "no letter to lower";
}

TEST_F(SaverNames, NineCharactersWithOneCapitalAreCoded) {
    const std::string name = shortName("abcdefghI");
    ASSERT_EQ(name.size(), 8u);
    EXPECT_EQ(name.substr(0, 4), "abcd");
    std::uint32_t crc = 0;
    crc32OfText(fakes.ui, "abcdefghI", crc);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", crc % 10000);
    EXPECT_EQ(name.substr(4), digits);
}

TEST_F(SaverNames, UpperCaseBeyondAsciiCountsThroughTheSystemLowerCasing) {
    // "\xC9" (E acute) lower-cases to "\xE9" in the western code page.
    const std::string title = "\xC9t\xE9 sur la plage";
    EXPECT_EQ(shortName(title).size(), 8u);
    EXPECT_EQ(shortName(title).substr(0, 4), title.substr(0, 4));
    EXPECT_EQ(shortName("\xE9t\xE9 sur la plage"), "\xE9t\xE9 sur la plage");
}

TEST_F(SaverNames, SmallCrcIsPaddedToFourDigits) {
    // This title's CRC-32 is 544: the short name keeps eight characters.
    std::uint32_t crc = 0;
    crc32OfText(fakes.ui, "Abcdefgh1023254", crc);
    ASSERT_EQ(crc, 544u);
    EXPECT_EQ(shortName("Abcdefgh1023254"), "Abcd0544");
}

TEST_F(SaverNames, AnyBytesInTheTitleAreKept) {
    const std::string title("A\x01\"\\\xFF"
                            "bcdefghijklmnopqrstuvwxyz0123456789012345678901234567890123456",
                            64);
    const std::string name = shortName(title);
    ASSERT_EQ(name.size(), 8u);
    EXPECT_EQ(name.substr(0, 4), title.substr(0, 4));
    EXPECT_EQ(shortName("Ab c Long Title"), shortName("Ab c Long Title"));
    EXPECT_EQ(shortName("Ab c Long Title").substr(0, 4), "Ab c");
}

TEST_F(SaverNames, DisplayNames) {
    EXPECT_EQ(makeDisplayName("Aquarium"), "Aquarium Screen Saver");
    EXPECT_EQ(makeDisplayName("Night Saver"), "Night Saver");
    EXPECT_EQ(makeDisplayName("Fish SCREENSAVER"), "Fish SCREENSAVER");
    EXPECT_EQ(makeDisplayName("Lifesavers"), "Lifesavers");
    EXPECT_EQ(makeDisplayName(""), " Screen Saver");
}

TEST_F(SaverNames, InstallCaptions) {
    EXPECT_EQ(makeInstallCaption("Aquarium"), "Install Screen Saver: Aquarium");
    EXPECT_EQ(makeInstallCaption("Night Saver"), "Install: Night Saver");
    EXPECT_EQ(makeInstallCaption("Ocean Screen Saver"), "Install: Ocean Screen Saver");
    EXPECT_EQ(makeInstallCaption(""), "Install Screen Saver: ");
}

} // namespace

namespace {

TEST(UsableSaverName, PlainNamesWithBlanksDotsAndAnsiLettersPass) {
    for (const char* name : {"Aqua5405", "My B6947", "aquarium screen saver", "a.b", ".hidden",
                             "\xC9t\xE9", "AC-DC (2)", "a'b&c"})
        EXPECT_TRUE(isUsableSaverName(name)) << name;
}

TEST(UsableSaverName, NamesThatLeaveTheFolderOrAreNoNameFail) {
    for (const char* name :
         {"",     ".",   "..", "...", " ",       ". .",  "..\\x",   "a\\b", "a/b",
          "C:",   "a:b", "a*", "a?",  "a\"b",    "a<b",  "a>b",     "a|b",  "a\tb",
          "\x1F", "x.",  "x ", "CON", "nul.txt", "Com1", "LPT9.scr"})
        EXPECT_FALSE(isUsableSaverName(name)) << name;
}

} // namespace
