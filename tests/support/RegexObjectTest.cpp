#include <gtest/gtest.h>

#include "support/RegexObject.h"
#include "support/Text.h"

namespace box {
namespace {

// GBK characters whose second byte is an ASCII character that means
// something in a pattern: "乗" is 81 5C ("\"), "亅" is 81 7C ("|").
const Text kTrailBackslash = "\x81\x5C";
const Text kTrailBar = "\x81\x7C";

TEST(RegexWildcard, ConvertsTypedTextTheWayTheSearchBoxNeedsIt) {
    EXPECT_EQ(RegexObject::wildcardToPattern("汀芷*工具"_gbk), "汀芷.*工具"_gbk);
    EXPECT_EQ(RegexObject::wildcardToPattern("a?c"), "a.?c");
    EXPECT_EQ(RegexObject::wildcardToPattern("1.0"), "1\\.0");
    EXPECT_EQ(RegexObject::wildcardToPattern("(x)"), "\\(x\\)");
    EXPECT_EQ(RegexObject::wildcardToPattern("a|b"), "a|b");
    EXPECT_EQ(RegexObject::wildcardToPattern("*?|"), ".*.?|");
}

TEST(RegexWildcard, EscapesEveryCharacterOfItsListOnce) {
    for (const char c : std::string("\\^$+.{}[]=()-\"")) {
        SCOPED_TRACE(std::string(1, c));
        EXPECT_EQ(RegexObject::wildcardToPattern(std::string(1, c)), std::string("\\") + c);
        EXPECT_EQ(RegexObject::wildcardToPattern(std::string(2, c)),
                  std::string("\\") + c + "\\" + c);
    }
    // Characters outside the list stay as typed.
    EXPECT_EQ(RegexObject::wildcardToPattern("a/b!,:#<>&%@~'`"), "a/b!,:#<>&%@~'`");
}

TEST(RegexWildcard, EveryEscapedPatternMatchesItsTextLiterally) {
    const std::string all = "\\^$+.{}[]=()-\"?*|";
    RegexObject regex;
    // An escaped text finds itself and nothing that merely fits it as a pattern.
    ASSERT_TRUE(regex.compile(RegexObject::escapeAll(all)));
    EXPECT_EQ(regex.execute("x" + all + "y"), 1);
    EXPECT_EQ(regex.matchValue(1), all);
    ASSERT_TRUE(regex.compile(RegexObject::escapeAll("a.c")));
    EXPECT_EQ(regex.execute("abc"), 0);

    // A typed backslash is matched as a backslash.
    ASSERT_TRUE(regex.compile(RegexObject::wildcardToPattern("c:\\*")));
    EXPECT_EQ(regex.execute("c:\\tools"), 1);
    EXPECT_EQ(regex.execute("c:tools"), 0);

    // Every character that the wildcard conversion escapes is found as itself.
    for (const char c : std::string("\\^$+.{}[]=()-\"")) {
        SCOPED_TRACE(std::string(1, c));
        ASSERT_TRUE(regex.compile(RegexObject::wildcardToPattern(std::string("a") + c + "*")));
        EXPECT_EQ(regex.execute(std::string("xa") + c + "yz"), 1);
        EXPECT_EQ(regex.matchValue(1), std::string("a") + c + "yz");
        EXPECT_EQ(regex.execute("xabyz"), 0);
    }
}

TEST(RegexWildcard, EscapeAllAndEscapeAllButBarDifferOnlyInTheBar) {
    EXPECT_EQ(RegexObject::escapeAll("a|b*?"), "a\\|b\\*\\?");
    EXPECT_EQ(RegexObject::escapeAllButBar("a|b*?"), "a|b\\*\\?");
    EXPECT_EQ(RegexObject::escapeAll("\\\""), "\\\\\\\"");
    EXPECT_EQ(RegexObject::escapeAll("-"), "-");
    EXPECT_EQ(RegexObject::escapeAllButBar("="), "\\=");
}

TEST(RegexWildcard, LeavesTheSecondByteOfAChineseCharacterAlone) {
    // Escaping byte by byte would put a backslash inside the character and
    // turn it into two broken ones.
    EXPECT_EQ(RegexObject::wildcardToPattern(kTrailBackslash + "*" + kTrailBar),
              kTrailBackslash + ".*" + kTrailBar);
    EXPECT_EQ(RegexObject::escapeAll(kTrailBar), kTrailBar);
    RegexObject regex;
    ASSERT_TRUE(regex.compile(RegexObject::wildcardToPattern(kTrailBar)));
    EXPECT_EQ(regex.execute("x" + kTrailBar), 1);
    EXPECT_EQ(regex.execute("x|"), 0);
}

TEST(RegexWildcard, AByteThatIsNoCharacterCannotSwallowAnAddedBackslash) {
    // 0xA1 before ")" stands alone; before the backslash that escapes ")" it
    // would pair with it into one character and leave ")" bare.
    for (const Text& text : {Text("\xA1)"), Text("\xA1)*"), Text("x\xA1")}) {
        SCOPED_TRACE(GbkToUtf8(text));
        RegexObject regex;
        ASSERT_TRUE(regex.compile(RegexObject::escapeAll(text), false));
        ASSERT_EQ(regex.execute("a" + text + " "), 1);
        EXPECT_EQ(regex.matchValue(1), text);
        ASSERT_TRUE(regex.compile(RegexObject::wildcardToPattern(text), false));
        EXPECT_EQ(regex.execute("a" + text + " "), 1);
    }
}

TEST(RegexExecute, DefaultsAreGlobalIgnoreCaseAndMultiline) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("ab"));
    EXPECT_EQ(regex.execute("xy"), 0);
    EXPECT_EQ(regex.execute("ab AB aB"), 3);
    ASSERT_TRUE(regex.compile("^b"));
    EXPECT_EQ(regex.execute("a\nb\r\nb"), 2);

    ASSERT_TRUE(regex.compile("ab", false, true, true));
    EXPECT_EQ(regex.execute("ab AB aB"), 1);
    ASSERT_TRUE(regex.compile("ab", true, true, false));
    EXPECT_EQ(regex.execute("ab AB aB"), 1);
    ASSERT_TRUE(regex.compile("^b", true, false, true));
    EXPECT_EQ(regex.execute("a\nb"), 0);
    EXPECT_EQ(regex.execute("b\nb"), 1);
}

TEST(RegexExecute, DollarOutsideMultilineIsTheVeryEnd) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("a$", true, false));
    EXPECT_EQ(regex.execute("a\n"), 0);
    EXPECT_EQ(regex.execute("ba"), 1);
    ASSERT_TRUE(regex.compile("a$", true, true));
    EXPECT_EQ(regex.execute("a\r\na"), 2);
}

TEST(RegexExecute, ChineseCaseFoldingAndClassesWorkOnCharacters) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("^.{2}$"));
    EXPECT_EQ(regex.execute("汀芷"_gbk), 1);
    ASSERT_TRUE(regex.compile("[汀芷]+"_gbk));
    EXPECT_EQ(regex.execute("软件汀芷盒子"_gbk), 1);
    EXPECT_EQ(regex.matchValue(1), "汀芷"_gbk);
    // A byte of a character never matches on its own: "礪" ends in 0x5A, "Z".
    ASSERT_TRUE(regex.compile("z"));
    EXPECT_EQ(regex.execute("\xB5\x5A"), 0);
    ASSERT_TRUE(regex.compile("\\u6C40"));
    EXPECT_EQ(regex.execute("汀"_gbk), 1);
}

TEST(RegexPositions, AreGbkBytesAfterChineseText) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("v(\\d+)\\.(\\d+)"));
    const Text subject = "汀芷软件v1.25 盒子v3.0"_gbk;
    ASSERT_EQ(regex.execute(subject), 2);
    EXPECT_EQ(regex.matchValue(1), "v1.25");
    EXPECT_EQ(regex.matchValue(2), "v3.0");
    int position = -1;
    EXPECT_EQ(regex.matchValueAt(1, position, true), "v1.25");
    EXPECT_EQ(position, 9);
    EXPECT_EQ(regex.matchValueAt(2, position, true), "v3.0");
    EXPECT_EQ(position, 19);
    EXPECT_EQ(regex.subMatchValueAt(2, 2, position, true), "0");
    EXPECT_EQ(position, 22);
    position = -1;
    regex.matchValueAt(1, position, false);
    EXPECT_EQ(position, -1);

    ASSERT_TRUE(regex.compile("盒."_gbk));
    ASSERT_EQ(regex.execute(subject), 1);
    EXPECT_EQ(regex.matchSpan(1).offset, 14u);
    EXPECT_EQ(regex.matchSpan(1).length, 4u);
    EXPECT_EQ(regex.matchValue(1), "盒子"_gbk);
}

TEST(RegexPositions, BytesThatAreNoCharacterCountAsOneEach) {
    RegexObject regex;
    // 0xFF is no GBK byte, 0xB0 at the end is a cut-off character.
    const Text subject =
        "\xFF"
        "a\xB0 b\xB0";
    ASSERT_TRUE(regex.compile("b."));
    ASSERT_EQ(regex.execute(subject), 1);
    EXPECT_EQ(regex.matchSpan(1).offset, 4u);
    EXPECT_EQ(regex.matchValue(1), "b\xB0");
    ASSERT_TRUE(regex.compile("."));
    EXPECT_EQ(regex.execute(subject), 6);
    // A broken byte in the pattern does not turn into a "?" quantifier.
    ASSERT_TRUE(regex.compile("a\xFF"));
    EXPECT_EQ(regex.execute("a"), 0);
}

TEST(RegexPositions, GlobalRunStepsOverEmptyMatchesByOneCharacter) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("x*"));
    ASSERT_EQ(regex.execute("汀x芷"_gbk), 4);
    EXPECT_EQ(regex.matchSpan(1).offset, 0u);
    EXPECT_EQ(regex.matchValue(2), "x");
    EXPECT_EQ(regex.matchSpan(2).offset, 2u);
    EXPECT_EQ(regex.matchSpan(3).offset, 3u);
    EXPECT_EQ(regex.matchSpan(3).length, 0u);
    EXPECT_EQ(regex.matchSpan(4).offset, 5u);
    // After the last character, one more empty match at the end.
    ASSERT_TRUE(regex.compile("y*"));
    EXPECT_EQ(regex.execute("汀芷"_gbk), 3);
    EXPECT_EQ(regex.matchSpan(3).offset, 4u);
}

TEST(RegexSubMatches, UnsetGroupsAndIndicesOutOfRangeGiveEmptyText) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("(a)|(b)"));
    ASSERT_EQ(regex.execute("b"), 1);
    EXPECT_EQ(regex.subMatchCount(), 2);
    EXPECT_EQ(regex.subMatchValue(1, 1), "");
    EXPECT_FALSE(regex.subMatchSpan(1, 1).set);
    EXPECT_EQ(regex.subMatchValue(1, 2), "b");
    int position = -1;
    EXPECT_EQ(regex.subMatchValueAt(1, 1, position, true), "");
    EXPECT_EQ(position, 0);
    for (const auto& [m, g] : {std::pair{0, 1}, {2, 1}, {1, 0}, {1, 3}, {-1, -1}}) {
        EXPECT_EQ(regex.subMatchValue(m, g), "") << m << "," << g;
    }
    EXPECT_EQ(regex.matchValue(0), "");
    EXPECT_EQ(regex.matchValue(2), "");
    EXPECT_EQ(regex.matchValueAt(2, position, true), "");
    EXPECT_EQ(position, 0);

    // A group that matched the empty text is set, unlike one that did not take part.
    ASSERT_TRUE(regex.compile("a(x*)b"));
    ASSERT_EQ(regex.execute("ab"), 1);
    EXPECT_TRUE(regex.subMatchSpan(1, 1).set);

    EXPECT_EQ(regex.execute("zz"), 0);
    EXPECT_EQ(regex.subMatchCount(), 0);
}

TEST(RegexSubMatches, BackReferenceToAnUnsetGroupMatchesTheEmptyText) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("(a)?b\\1c"));
    ASSERT_EQ(regex.execute("bc"), 1);
    EXPECT_EQ(regex.matchValue(1), "bc");
    ASSERT_TRUE(regex.compile("(汀)\\1"_gbk));
    EXPECT_EQ(regex.execute("汀汀"_gbk), 1);
}

TEST(RegexCompile, InvalidPatternsFailAndLeaveNoExpression) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("a"));
    ASSERT_EQ(regex.execute("a"), 1);
    for (const char* bad : {"(", "a)", "[a", "a{2,1}", "[z-a]", "*a", "a**", "(?<n>a)(?<n>b)",
                            "(?<=a+)b", "a{99999}"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(regex.compile(bad));
        EXPECT_FALSE(regex.isCompiled());
        EXPECT_FALSE(regex.errorMessage().empty());
        EXPECT_EQ(regex.getPattern(), "");
        EXPECT_EQ(regex.execute("a(b"), 0);
        EXPECT_EQ(regex.matchValue(1), "");
        EXPECT_EQ(regex.replace("a(b", "x"), "a(b");
    }
    ASSERT_TRUE(regex.compile("汀"_gbk));
    EXPECT_EQ(regex.getPattern(), "汀"_gbk);
}

TEST(RegexCompile, EcmaScriptStyleSyntaxThatPlainPcreWouldRead) {
    RegexObject regex;
    // An empty class matches nothing, its negation any character.
    ASSERT_TRUE(regex.compile("a[]"));
    EXPECT_EQ(regex.execute("a]"), 0);
    ASSERT_TRUE(regex.compile("a[^]"));
    EXPECT_EQ(regex.execute("a\n"), 1);
    // An unknown escape stands for its letter, and so does \C, which would
    // otherwise match half a character.
    ASSERT_TRUE(regex.compile("\\q\\C"));
    EXPECT_EQ(regex.execute("qc"), 1);
    ASSERT_TRUE(regex.compile("汀\\C"_gbk));
    EXPECT_EQ(regex.execute("汀芷"_gbk), 0);
    ASSERT_TRUE(regex.compile("a\\"));
    EXPECT_EQ(regex.execute("a\\"), 1);
}

TEST(RegexLimits, LongSubjectsAndRunawayPatternsEndCleanly) {
    RegexObject regex;
    // 100 KB: a repeated group on the whole subject does not exhaust any stack.
    Text subject;
    for (int i = 0; i < 50'000; ++i) subject += i % 2 ? "ab" : "汀"_gbk;
    subject += "c";
    ASSERT_TRUE(regex.compile("^(?:(a|b)|汀)*c$"_gbk));
    ASSERT_EQ(regex.execute(subject), 1);
    EXPECT_FALSE(regex.stoppedEarly());
    EXPECT_EQ(regex.matchSpan(1).length, subject.size());
    EXPECT_EQ(regex.subMatchValue(1, 1), "b");

    ASSERT_TRUE(regex.compile("汀"_gbk));
    ASSERT_EQ(regex.execute(subject), 25'000);
    int position = 0;
    regex.matchValueAt(25'000, position, true);
    EXPECT_EQ(position, static_cast<int>(subject.size()) - 4);

    // Exponential backtracking stops at the bound instead of running for ages.
    ASSERT_TRUE(regex.compile("(a+)+$"));
    EXPECT_EQ(regex.execute(Text(40, 'a') + "!"), 0);
    EXPECT_TRUE(regex.stoppedEarly());
    EXPECT_FALSE(regex.errorMessage().empty());
    EXPECT_EQ(regex.execute("aa"), 1);
    EXPECT_FALSE(regex.stoppedEarly());
}

TEST(RegexReplace, ExpandsGroupReferencesLikeTheScriptingEngines) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("(\\d)(\\d)?"));
    EXPECT_EQ(regex.replace("汀1芷23"_gbk, "<$1|$2>"), "汀<1|>芷<2|3>"_gbk);
    EXPECT_EQ(regex.replace("a12b", "[$&][$`][$'][$$][$0][$3][$"), "a[12][a][b][$][$0][$3][$b");
    // $10 with two groups is group 1 followed by "0".
    EXPECT_EQ(regex.replace("12", "$10$02"), "102");
    // The kept matches are those of the last execute.
    ASSERT_EQ(regex.execute("9"), 1);
    regex.replace("123", "x");
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.matchValue(1), "9");

    ASSERT_TRUE(regex.compile("x*", true, true, false));
    EXPECT_EQ(regex.replace("ab", "-"), "-ab");
    ASSERT_TRUE(regex.compile("x*"));
    EXPECT_EQ(regex.replace("汀b"_gbk, "-"), "-汀-b-"_gbk);
    ASSERT_TRUE(regex.compile("(软)件"_gbk));
    EXPECT_EQ(regex.replace("汀芷软件盒子"_gbk, "[$1]"), "汀芷[软]盒子"_gbk);
}

TEST(RegexObjectLife, CopyKeepsExpressionAndMatchesIndependently) {
    RegexObject regex;
    ASSERT_TRUE(regex.compile("(b+)"));
    ASSERT_EQ(regex.execute("abbc"), 1);
    RegexObject copy = regex.copy();
    ASSERT_TRUE(regex.compile("c"));
    EXPECT_EQ(copy.getPattern(), "(b+)");
    EXPECT_EQ(copy.subMatchValue(1, 1), "bb");
    EXPECT_EQ(copy.execute("bxb"), 2);
    // The old matches stay readable after the original compiled anew.
    EXPECT_EQ(regex.subMatchValue(1, 1), "bb");
    EXPECT_EQ(regex.subject(), "abbc");

    regex.destroy();
    EXPECT_FALSE(regex.isCompiled());
    EXPECT_EQ(regex.getPattern(), "");
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.subject(), "");
    EXPECT_EQ(regex.execute("c"), 0);
}

}  // namespace
}  // namespace box
