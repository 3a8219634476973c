#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "support/BoxFolder.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/FileText.h"
#include "support/Text.h"
#include "TestDoubles.h"

namespace box {
namespace {

TEST(GbkText, LiteralsBecomeGbkBytesAndCountTwoPerCharacter) {
    Text dot = "·"_gbk;
    EXPECT_EQ(dot, "\xA1\xA4");
    Text name = "汀芷·软件盒子"_gbk;
    EXPECT_EQ(name.size(), 14u);
    EXPECT_EQ(GbkToUtf8(name), "汀芷·软件盒子");
    EXPECT_EQ(PadToBytes("软件"_gbk, 6).size(), 6u);
    EXPECT_EQ(PadToBytes("long text", 3), "long text");
}

TEST(GbkText, MalformedBytesDoNotLoseTheRest) {
    // A lone lead byte in the middle and a truncated character at the end.
    std::string bad =
        "ab\x81"
        "cd\xB5";
    std::string utf8 = GbkToUtf8(bad);
    EXPECT_NE(utf8.find("ab"), std::string::npos);
    EXPECT_NE(utf8.find("d"), std::string::npos);
    bool ok = true;
    EXPECT_EQ(ConvertEncoding(bad, "GBK", "UTF-8", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(GbkText, AnUnconvertibleCharacterIsOneCharacterByTheGbkRule) {
    // D7 FA is a lead and a trail byte, unassigned in GBK: one character, one
    // '?'. The "x" after it must not be taken as the trail of a new pair.
    EXPECT_EQ(GbkToUtf8("\xD7\xFA"
                        "x"),
              "?x");
    // A lead byte before a byte that cannot trail stands alone.
    EXPECT_EQ(GbkToUtf8("\x81 a"), "? a");
    EXPECT_EQ(GbkToUtf8("a\xFF\xD7\xFA"
                        "b\xB5"),
              "a??b?");
}

TEST(GbkText, Utf16NamesGiveOneQuestionMarkPerCharacterThatGbkLacks) {
    auto utf16 = [](const std::string& utf8) { return ConvertEncoding(utf8, "UTF-8", "UTF-16LE"); };
    EXPECT_EQ(Utf16LeToGbk(utf16("C:\\软件\\a.exe")), "C:\\软件\\a.exe"_gbk);
    // Neither a transliteration ("n", "(TM)") nor a lost name.
    EXPECT_EQ(Utf16LeToGbk(utf16("ñ™软😀")), "??"_gbk + "软"_gbk + "?");
    // Unpaired surrogates, a zero unit and an odd last byte.
    EXPECT_EQ(Utf16LeToGbk(std::string("a\0\x00\xD8"
                                       "b\0\x00\xDC",
                                       8)),
              "a?b?");
    EXPECT_EQ(Utf16LeToGbk(std::string("a\0\0\0b", 5)), std::string("a\0", 2));
    EXPECT_EQ(Utf16LeToUtf8(utf16("汀😀") + std::string("\x00\xD8", 2)), "汀😀\xEF\xBF\xBD");
}

TEST(GbkText, LargeConversionsCrossSlicesAndLetEventsRun) {
    // Characters cut at the slice boundaries, in both the failing and the
    // replacing conversion.
    std::string utf8;
    while (utf8.size() < 1024 * 1024) utf8 += "汀芷ab";
    test::ScriptedEventPump pump;
    bool ok = false;
    const std::string gbk = ConvertEncoding(utf8, "UTF-8", "GBK", &ok, &pump);
    EXPECT_TRUE(ok);
    EXPECT_EQ(gbk, Utf8ToGbk(utf8));
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_LT(pump.pumps, 1000);
    EXPECT_EQ(ConvertEncoding(utf8 + "\xFF", "UTF-8", "GBK", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(GbkText, TrimBlanksTakesTheGivenBlanksFromBothEnds) {
    EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimBlanks(" \r\n\t"), "");
    EXPECT_EQ(TrimBlanks(""), "");
    EXPECT_EQ(TrimBlanks("\r a \r", " \t"), "\r a \r");
    // A trail byte is never a blank, so a character at either end stays whole.
    EXPECT_EQ(TrimBlanks(" 软 "_gbk), "软"_gbk);
}

TEST(GbkText, AsciiLowerLeavesTrailBytesAlone) {
    // 0xB5 0x5A: the trail byte 'Z' must not be lowered.
    std::string s = "AB\xB5Z";
    EXPECT_EQ(AsciiLower(s), "ab\xB5Z");
}

TEST(GbkText, LeadingNumber) {
    EXPECT_EQ(LeadingNumber("12abc"), 12);
    EXPECT_EQ(LeadingNumber("-0.5"), -0.5);
    EXPECT_EQ(LeadingNumber("+3"), 3);
    EXPECT_EQ(LeadingNumber("1e3x"), 1000);
    EXPECT_EQ(LeadingNumber("1e"), 1);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("0x10"), 0);
    EXPECT_EQ(LeadingNumber("."), 0);
    // Out of range: the largest finite value of the sign, or zero when too small.
    constexpr double kMax = std::numeric_limits<double>::max();
    EXPECT_EQ(LeadingNumber("1e400"), kMax);
    EXPECT_EQ(LeadingNumber("-1.5e999999999999999999"), -kMax);
    EXPECT_EQ(LeadingNumber("+" + std::string(400, '9') + ".5"), kMax);
    EXPECT_EQ(LeadingNumber("1e-400"), 0);
    EXPECT_EQ(LeadingNumber("-0.0000001e-999"), 0);
    EXPECT_EQ(LeadingNumber("0.00012345e400"), kMax);
}

TEST(GbkText, SplitAndReplace) {
    EXPECT_EQ(Split("a|b||c", "|"), (std::vector<Text>{"a", "b", "", "c"}));
    EXPECT_EQ(Split("", "|"), (std::vector<Text>{""}));
    EXPECT_EQ(ReplaceAll("a\r\nb\r\n", "\r\n", "┊*┊"_gbk), "a" + "┊*┊"_gbk + "b" + "┊*┊"_gbk);
}

TEST(BoxPaths, GbkNamesMapToUtf8AndBackslashesToFolders) {
    Text p = JoinPath(Text("/tmp/box"), "汀芷·软件盒子.ini"_gbk);
    EXPECT_EQ(FsPath(p).string(), "/tmp/box/汀芷·软件盒子.ini");
    // Several GBK characters end in 0x5C, the byte of '\'; it is no separator there.
    Text withTrail = "\x81\x5C";
    EXPECT_EQ(FileNamePart("/a/" + withTrail), withTrail);
    EXPECT_EQ(FolderPart("/a/" + withTrail), "/a");
    EXPECT_EQ(FolderPart("name"), "");
}

TEST(BoxPaths, AnExactFolderKeepsWhatGbkLacksAndOnlyTheNameIsConverted) {
    const std::filesystem::path folder = "/home/한/🎮 盒子";
    EXPECT_NE(FsPath(FromFsPath(folder)), folder) << "the GBK text is for the eye only";
    EXPECT_EQ(JoinPath(folder, "汀芷·软件盒子.ini"_gbk), "/home/한/🎮 盒子/汀芷·软件盒子.ini");
    EXPECT_EQ(JoinPath(folder, "甲\\甲.exe"_gbk), "/home/한/🎮 盒子/甲/甲.exe");
    // A name that starts with a separator still lands inside the folder.
    EXPECT_EQ(JoinPath(folder, Text("\\etc")), "/home/한/🎮 盒子//etc");
    EXPECT_EQ(JoinPath(folder, Text("/etc")).lexically_normal(), folder / "etc");
}

TEST(FileTextTest, ReadStopsAtZeroAndGivesDefaultForMissingOrEmpty) {
    test::TempDir dir;
    Text path = JoinPath(dir.gbk(), "文件.txt"_gbk);
    EXPECT_EQ(ReadFileText(path, "def"), "def");
    ASSERT_TRUE(WriteFileText(path, std::string("ab\0cd", 5)));
    EXPECT_EQ(ReadFileText(path), "ab");
    ASSERT_TRUE(WriteFileText(path, "xy", true));
    EXPECT_EQ(ReadFileBytes(path)->size(), 7u);
    ASSERT_TRUE(WriteFileText(path, ""));
    EXPECT_EQ(ReadFileText(path, "def"), "def");
    EXPECT_TRUE(DeleteFile(path));
    EXPECT_FALSE(FileExists(path));
}

TEST(Dialog, AskUserAddsInformationIconAndSystemModal) {
    test::ScriptedDialogs dialogs;
    dialogs.answers = {kButtonCancel};
    EXPECT_EQ(AskUser(dialogs, "x", kMbOkCancel), kButtonCancel);
    EXPECT_EQ(dialogs.shown[0].flags, kMbOkCancel | kMbIconInformation | kMbSystemModal);
    EXPECT_EQ(dialogs.shown[0].title, "汀芷："_gbk);
    AskUser(dialogs, "x", kMbYesNo | kMbIconWarning, "t");
    EXPECT_EQ(dialogs.shown[1].flags, kMbYesNo | kMbIconWarning | kMbSystemModal);
    EXPECT_EQ(dialogs.shown[1].title, "t");
    ShowPlainMessage(dialogs, "y");
    EXPECT_EQ(dialogs.shown[2].flags, kMbTaskModal);
    EXPECT_EQ(dialogs.shown[2].title, "信息："_gbk);
    ShowPlainMessage(dialogs, "y", kMbSystemModal);
    EXPECT_EQ(dialogs.shown[3].flags, kMbSystemModal);
}

TEST(Waiting, WaitWithEventsPumpsEveryTenMillisecondsAndHonoursStop) {
    test::ScriptedEventPump pump;
    WaitWithEvents(pump, 1000);
    EXPECT_EQ(pump.sleptMs, 1000);
    EXPECT_EQ(pump.pumps, 100);

    std::atomic<bool> stop{false};
    test::ScriptedEventPump pump2;
    pump2.onEveryPump = [&] {
        if (pump2.pumps == 3) stop = true;
    };
    WaitWithEvents(pump2, 1000, &stop);
    EXPECT_EQ(pump2.pumps, 3);
    EXPECT_EQ(pump2.sleptMs, 30);
}

}  // namespace
}  // namespace box
