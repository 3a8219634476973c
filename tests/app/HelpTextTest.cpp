// The help text: its fixed first lines and its form.

#include <gtest/gtest.h>

#include "TestDoubles.h"
#include "app/HelpText.h"

namespace box::test {
namespace {

TEST(HelpTextTest, StartsWithTheFourMouseLines) {
    const Text expected = IniLines({"鼠标左键点击软件名称：运行软件",
                                    "鼠标左键点击软件名称（加Ctrl键）：打开软件主页",
                                    "鼠标左键点击软件名称（加Alt键）：在桌面创建该软件的快捷方式",
                                    "鼠标右键点击软件名称：打开软件目录"}) +
                          "\r\n";
    EXPECT_EQ(HelpText().substr(0, expected.size()), expected);
}

TEST(HelpTextTest, EveryCharacterIsGbkAndEveryLineEndIsCrLf) {
    const Text text = HelpText();
    // A character that GBK lacks would have turned into '?' on the way in.
    EXPECT_EQ(text.find('?'), Text::npos);
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(text)), text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << i;
        }
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << i;
        }
    }
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");
}

TEST(HelpTextTest, NotesAreSeparatedByLinesOfDashesAndNameTheTags) {
    const std::vector<Text> lines = Split(HelpText(), "\r\n");
    int dashLines = 0;
    for (std::size_t i = 4; i < lines.size(); i += 2) {
        EXPECT_EQ(lines[i].find_first_not_of('-'), Text::npos) << i;
        ++dashLines;
        ASSERT_LT(i + 1, lines.size());
        EXPECT_FALSE(lines[i + 1].empty());
    }
    EXPECT_EQ(dashLines, 7);
    const Text text = HelpText();
    for (const char* word : {"[免]", "[游]", "128M", "VIP", "回车", "滚动条", "杀毒软件"})
        EXPECT_NE(text.find(G(word)), Text::npos) << word;
}

}  // namespace
}  // namespace box::test
