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

// The resource texts of a string table translated into German; the table
// lacks "Accept and Install", which keeps its English wording.
ResourceTexts germanTexts() {
    fake::FakeSystemInfo system;
    system.strings = {{text::kInstall.id, "Installieren"},
                      {text::kScreenSaver.id, "Bildschirmschoner"},
                      {9999, "not a resource text"}};
    return ResourceTexts::load(system);
}

TEST_F(SaverNames, DisplayNamesAndInstallCaptionsWithTheTablesWords) {
    const ResourceTexts english;
    const ResourceTexts german = germanTexts();
    EXPECT_EQ(german.get(text::kAcceptAndInstall), "Accept and Install");
    const struct {
        const ResourceTexts& texts;
        const char* title;
        const char* displayName;
        const char* caption;
    } cases[] = {
        {english, "Aquarium", "Aquarium Screen Saver", "Install Screen Saver: Aquarium"},
        {english, "Night Saver", "Night Saver", "Install: Night Saver"},
        {english, "Fish SCREENSAVER", "Fish SCREENSAVER", "Install: Fish SCREENSAVER"},
        {english, "Lifesavers", "Lifesavers", "Install: Lifesavers"},
        {english, "Ocean Screen Saver", "Ocean Screen Saver", "Install: Ocean Screen Saver"},
        {english, "", " Screen Saver", "Install Screen Saver: "},
        {german, "Aquarium", "Aquarium Bildschirmschoner",
         "Installieren Bildschirmschoner: Aquarium"},
        {german, "Night Saver", "Night Saver", "Installieren: Night Saver"},
        // The caption also takes the table's word for a screen saver, in any
        // case; the display name knows only the fixed ones.
        {german, "Aquarium BILDSCHIRMSCHONER", "Aquarium BILDSCHIRMSCHONER Bildschirmschoner",
         "Installieren: Aquarium BILDSCHIRMSCHONER"},
        {english, "Aquarium Bildschirmschoner", "Aquarium Bildschirmschoner Screen Saver",
         "Install Screen Saver: Aquarium Bildschirmschoner"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(makeDisplayName(c.texts, c.title), c.displayName);
        EXPECT_EQ(makeInstallCaption(c.texts, c.title), c.caption);
    }
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
