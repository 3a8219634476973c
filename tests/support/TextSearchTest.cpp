#include <gtest/gtest.h>

#include "support/Text.h"
#include "support/TextSearch.h"

namespace box {
namespace {

// GBK "礪": lead byte 0xB5, trail byte 0x5A, which is also ASCII 'Z'.
const std::string kCharWithTrailZ = "\xB5\x5A";

TEST(TextBetween, QuotedKeyMarkersAndTheSecondTryWithoutQuotes) {
    // Apostrophe pairs in the marker stand for the answer's double quotes.
    EXPECT_EQ(TextBetween(R"({"nid": "123", "name": "x"})", "''nid'': ''", "\""), "123");

    // Unquoted answer: the first try fails; the second drops every quote, so the
    // right marker becomes empty, which is found at position 1 - before the
    // left marker - and the result is empty.
    int start = 0;
    EXPECT_EQ(TextBetween("{nid: 123}", "''nid'': ''", "\"", start), "");
    EXPECT_EQ(start, 1);

    // Without quotes in the markers there is no second try to change start.
    start = 5;
    EXPECT_EQ(TextBetween("abcdefgh", "x", "y", start), "");
    EXPECT_EQ(start, 5);
}

TEST(TextBetween, EmptyMarkersMeanStartAndEndOfText) {
    int start = 0;
    EXPECT_EQ(TextBetween("a=1&b=2", "b=", "", start), "2");
    // start counts in the text with the 8-byte end sentinel appended.
    EXPECT_EQ(start, 8 + 8);
    EXPECT_EQ(TextBetween("a=1&b=2", "b=", "", start), "");

    EXPECT_EQ(TextBetween("abc/def", "", "/"), "abc");
    EXPECT_EQ(TextBetween("abc", "", ""), "abc");
}

TEST(TextBetween, FromRightTakesTheNearestLeftMarkerBeforeTheRightOne) {
    EXPECT_EQ(TextBetween("http://h/a/b/file.rar", "/", "", true), "file.rar");
    EXPECT_EQ(TextBetween("<a>1</a><a>2</a>", "<a>", "</a>", true), "1");
    int start = 9;
    EXPECT_EQ(TextBetween("<a>1</a><a>2</a>", "<a>", "</a>", start, true), "2");
    EXPECT_EQ(start, 17);
    // A left marker overlapping the right one does not count.
    EXPECT_EQ(TextBetween("xaby", "ab", "by", true), "");
}

TEST(TextBetween, StepsThroughRepeatedOccurrencesAndPastAdjacentMarkers) {
    int start = 0;
    EXPECT_EQ(TextBetween("[][x][yz]", "[", "]", start), "");
    EXPECT_EQ(start, 3);  // moved past the right marker although nothing was between
    EXPECT_EQ(TextBetween("[][x][yz]", "[", "]", start), "x");
    EXPECT_EQ(start, 6);
    EXPECT_EQ(TextBetween("[][x][yz]", "[", "]", start), "yz");
    EXPECT_EQ(start, 10);
    EXPECT_EQ(TextBetween("[][x][yz]", "[", "]", start), "");
    EXPECT_EQ(start, 10);
}

TEST(TextSearch, IgnoresAsciiCaseButNeverMatchesInsideADoubleByteCharacter) {
    EXPECT_EQ(TextBetween("<HEAD><META Charset=x></HEAD>", "<meta", ">"), " Charset=x");

    // The trail byte 'Z' of the first character must not start "Z=".
    std::string text = kCharWithTrailZ + "=1;Z=2;";
    EXPECT_EQ(TextBetween(text, "Z=", ";"), "2");
    EXPECT_EQ(TextBetween(text, "z=", ";"), "2");
    EXPECT_EQ(FindText(text, "Z"), 6);

    // Double-byte characters compare exactly (0x7A is 'z', but not here).
    EXPECT_EQ(FindText("\xB5\x7A", kCharWithTrailZ), 0);
    EXPECT_EQ(FindText("a" + kCharWithTrailZ, "a\xB5"), 0);  // half a character is no match
    EXPECT_EQ(FindText("a" + kCharWithTrailZ + "b", kCharWithTrailZ + "B"), 2);

    // A start inside a character moves on to the next whole character.
    EXPECT_EQ(FindText(kCharWithTrailZ + "Z", "z", 2), 3);
    EXPECT_EQ(FindTextBefore(kCharWithTrailZ + "Z=Z", "z", 5), 3);
    // Runs of lead-range bytes pair up from the last plain byte.
    std::string run = "x" + "汀芷"_gbk + "Z";
    EXPECT_EQ(FindText(run, "z", 3), 6);
}

TEST(TextSearch, AStrayLeadByteDoesNotSwallowTheAsciiAfterIt) {
    // Undecoded UTF-8 ("中" is three bytes) leaves a lead-range byte before the
    // closing quote; the quote is still a character of its own.
    EXPECT_EQ(TextBetween("{\"k\":\"\xE4\xB8\xAD\"}", "''k'':''", "\""), "\xE4\xB8\xAD");
    EXPECT_EQ(FindText("\x81<meta", "<META"), 2);
    EXPECT_EQ(FindText("\x81\x7F", "\x7F"), 2);
    EXPECT_EQ(FindText("\x81<", "<", 2), 2);
    // A text that ends in a stray lead byte still finds the end-of-text sentinel.
    EXPECT_EQ(TextBetween("name=\xB5", "name=", ""), "\xB5");
    // A real character still hides its trail byte.
    EXPECT_EQ(FindText(kCharWithTrailZ, "Z"), 0);
}

TEST(TextSearch, EmptyTextAndPositionsAtTheEdges) {
    EXPECT_EQ(FindText("abc", "", 3), 1);
    EXPECT_EQ(FindText("abc", "", 4), 0);
    EXPECT_EQ(FindText("abc", "c", 0), 3);
    EXPECT_EQ(FindText("abc", "c", -7), 3);
    EXPECT_EQ(FindText("abc", "abcd"), 0);
    EXPECT_EQ(FindText("", "a"), 0);
    EXPECT_EQ(FindTextBefore("abcabc", "abc", 7), 4);
    EXPECT_EQ(FindTextBefore("abcabc", "abc", 6), 1);
    EXPECT_EQ(FindTextBefore("abc", "a", 1), 0);
    EXPECT_EQ(FindTextBefore("abc", "a", 1000), 1);
}

TEST(ContainsAny, VariantsIgnoringCaseWithApostrophePairsAsQuotes) {
    EXPECT_TRUE(ContainsAny("x CHARSET=\"UTF-8\"", "charset=''utf-8''[fg]nothing"));
    EXPECT_TRUE(ContainsAny("abc", "zz[fg]B"));
    EXPECT_FALSE(ContainsAny("abc", "zz[fg]yy"));
    EXPECT_FALSE(ContainsAny("abc", "[fg]"));
    EXPECT_FALSE(ContainsAny("", "a"));
}

}  // namespace
}  // namespace box
