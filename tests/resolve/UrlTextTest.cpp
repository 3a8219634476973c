#include <gtest/gtest.h>

#include "resolve/UrlText.h"
#include "support/Text.h"
#include "TestDoubles.h"

namespace box {
namespace {

TEST(UrlHostPart, KeepsCaseAndPort) {
    EXPECT_EQ(UrlHostPart("http://Example.COM:8080/a/b?c=//d"), "Example.COM:8080");
    EXPECT_EQ(UrlHostPart("example.com/x/y"), "example.com");
    EXPECT_EQ(UrlHostPart("https://host"), "host");
    EXPECT_EQ(UrlHostPart(""), "");
}

TEST(UrlEncode, Utf8PercentEncodingWithUnreservedPunctuationKept) {
    EXPECT_EQ(UrlEncode("a b"), "a%20b");
    EXPECT_EQ(UrlEncode("~"), "%7E");
    EXPECT_EQ(UrlEncode("/汀芷/a-b_c.rar"_gbk), "%2F%E6%B1%80%E8%8A%B7%2Fa-b_c.rar");
    EXPECT_EQ(UrlEncode("100%&x=y"), "100%25%26x%3Dy");
    EXPECT_EQ(UrlEncode(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(UrlEncode(""), "");
    // An unassigned double-byte character is one '?', and the letter after it
    // is still a letter.
    EXPECT_EQ(UrlEncode("\xD7\xFA"
                        "x"),
              "%3Fx");
    EXPECT_EQ(UrlEncode("\x81 a"), "%3F%20a");
}

TEST(UrlEncode, LongTextsLetEventsRunWithoutAPumpPerByte) {
    test::ScriptedEventPump pump;
    std::string text(1 << 20, ' ');
    EXPECT_EQ(UrlEncode(text, &pump).size(), text.size() * 3);
    EXPECT_LT(pump.pumps, 1000);
}

}  // namespace
}  // namespace box
