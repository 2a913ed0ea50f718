#include "system/delimited_text.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

Items split(std::string_view text, char delimiter = ',') {
    Items items{"left over"};
    splitDelimited(delimiter, text, items);
    return items;
}

TEST(SplitDelimited, BlanksEndItemsToo) {
    EXPECT_EQ(split("WIN 10,0,45,2"), (Items{"WIN", "10", "0", "45", "2"}));
    EXPECT_EQ(split("  a ,  b\t,c  "), (Items{"a", "b", "c"}));
}

TEST(SplitDelimited, EmptyItems) {
    EXPECT_EQ(split("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(split("a,"), (Items{"a", ""}));
    EXPECT_EQ(split("a, "), (Items{"a"})) << "the delimiter is not the last character";
    EXPECT_EQ(split(",a"), (Items{"", "a"}));
    EXPECT_EQ(split(","), (Items{"", ""}));
}

TEST(SplitDelimited, NothingGivesNoItems) {
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split("   \t\r\n ").empty());
}

TEST(SplitDelimited, QuotedItems) {
    EXPECT_EQ(split("\"a b\",c"), (Items{"a b", "c"}));
    EXPECT_EQ(split("\"x,y\""), (Items{"x,y"}));
    EXPECT_EQ(split("\"say \"\"hi\"\"\""), (Items{"say \"hi\""}));
    EXPECT_EQ(split("\"open"), (Items{"open"})) << "an unclosed quote runs to the end";
    EXPECT_EQ(split("\"\",a"), (Items{"", "a"}));
}

TEST(SplitDelimited, OtherDelimitersAndBytes) {
    EXPECT_EQ(split("1;2;3", ';'), (Items{"1", "2", "3"}));
    EXPECT_EQ(split("1,2;3", ';'), (Items{"1,2", "3"}));
    EXPECT_EQ(split("\xE9t\xE9,\xFF"), (Items{"\xE9t\xE9", "\xFF"})) << "high bytes are not blanks";
    EXPECT_EQ(split(std::string_view("a,b\0,c", 6)), (Items{"a", "b"})) << "the text ends at NUL";
}

} // namespace
