#include <gtest/gtest.h>

#include <chrono>

#include "CatalogTestSupport.h"
#include "app/RowBuilder.h"

namespace box {
namespace {

using test::CatalogEnv;
using test::G;
using test::IniLines;

const Text kFullCatalog = IniLines({
    "[盒子]",
    "下载源=cookie=abc",
    "最新版本=1.0.8.0",
    "下载地址=http://example.com/box.rar",
    "允许选择=是",
    "[汀芷·甲]",
    "最新版本=2.0.0.0",
    "软件主页=http://example.com/a",
    "下载地址=http://example.com/a.rar",
    "是否打开=是",
    "视频教程=http://v/1|http://v/2",
    "软件类型=1",
    "[汀芷·乙]",
    "是否打开=否",
});

// The values of "汀芷·甲" in kFullCatalog.
void ExpectFirstProgram(const CatalogEntry& a) {
    EXPECT_EQ(a.name, G("汀芷·甲"));
    EXPECT_EQ(a.latestVersion, "2.0.0.0");
    EXPECT_EQ(a.homepage, "http://example.com/a");
    EXPECT_EQ(a.downloadUrl, "http://example.com/a.rar");
    EXPECT_TRUE(a.openDownloadPage);
    EXPECT_EQ(a.tutorialUrl, "http://v/1|http://v/2");
    EXPECT_EQ(a.kind, 1);
}

TEST(ParseCatalog, ReadsTheBoxSectionAndEveryFieldInOrderOfTheSteps) {
    CatalogEnv env;
    std::vector<std::string> steps;
    env.context.hooks.downloadSourceRead = [&](const Text& source, int programs) {
        steps.push_back("source " + source + " programs " + std::to_string(programs));
    };
    env.context.hooks.checkSelfUpdate = [&](const Text& version, Text& address, bool allow) {
        // The download source is already known to the resolvers, and no row
        // exists yet.
        steps.push_back("update " + version + " " + address + (allow ? " yes" : " no") + " " +
                        env.downloadSource + " rows " + std::to_string(env.list.size()));
        address = "changed";
        return false;
    };
    ASSERT_EQ(env.parse(kFullCatalog), 2);
    EXPECT_EQ(steps, (std::vector<std::string>{
                         "source cookie=abc programs 2",
                         "update 1.0.8.0 http://example.com/box.rar yes cookie=abc rows 0"}));
    EXPECT_EQ(env.downloadSource, "cookie=abc");
    EXPECT_EQ(env.exitCode, -1);
    EXPECT_TRUE(env.dialogs.shown.empty());

    const CatalogEntry& a = env.list.at(1).entry;
    ExpectFirstProgram(a);
    EXPECT_EQ(a.installedVersion, "");
    EXPECT_EQ(a.status, kNotDownloaded);
    EXPECT_EQ(a.retryCount, 0);

    // Missing keys give empty values, false and 0.
    const CatalogEntry& b = env.list.at(2).entry;
    EXPECT_EQ(b.name, G("汀芷·乙"));
    EXPECT_EQ(b.latestVersion, "");
    EXPECT_EQ(b.homepage, "");
    EXPECT_FALSE(b.openDownloadPage);
    EXPECT_EQ(b.kind, 0);
    EXPECT_EQ(env.list.at(2).actionCaption, G("下载 v0.0.0.0    "));
}

TEST(ParseCatalog, LineEndsWithoutCarriageReturnReadAsUsual) {
    std::string lfOnly = kFullCatalog;
    std::erase(lfOnly, '\r');
    std::string mixed = kFullCatalog;
    mixed.erase(mixed.find("\r\n"), 1);  // the first line end alone is LF
    for (const std::string& catalog : {lfOnly, mixed}) {
        CatalogEnv env;
        bool allowed = false;
        env.context.hooks.checkSelfUpdate = [&](const Text&, Text&, bool allow) {
            allowed = allow;
            return false;
        };
        ASSERT_EQ(env.parse(catalog), 2);
        EXPECT_EQ(env.downloadSource, "cookie=abc");
        EXPECT_TRUE(allowed);
        ExpectFirstProgram(env.list.at(1).entry);
        EXPECT_EQ(env.list.at(1).actionCaption, G("下载 v2.0.0.0    "));
        EXPECT_FALSE(env.list.at(2).entry.openDownloadPage);
    }
}

// Thousands of lines that open like a header and never end like one, between
// a program's header and its keys: the parse must not take time that grows
// with their number times the size of the text. The bound only tells a hang
// from a parse; it holds with room to spare under sanitizers.
TEST(ParseCatalog, LinesThatOpenLikeHeadersDoNotStallTheParse) {
    Text catalog = G("[盒子]\r\n[汀芷·甲]");
    const std::string line = "\r\n[" + std::string(16, ']') + "x";
    while (catalog.size() < 400 * 1024) catalog += line;
    catalog += IniLines({"", "最新版本=1.3", "软件主页=http://h/", "软件类型=2"});
    CatalogEnv env;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(env.parse(catalog), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(env.list.at(1).entry.latestVersion, "1.3");
    EXPECT_EQ(env.list.at(1).entry.homepage, "http://h/");
    EXPECT_EQ(env.list.at(1).entry.kind, 2);
}

TEST(ParseCatalog, UpdateChoiceNeedsExactlyYes) {
    for (const char* value : {"允许选择=是 ", "允许选择=否", "允许选择="}) {
        CatalogEnv env;
        bool allowed = true;
        env.context.hooks.checkSelfUpdate = [&](const Text&, Text&, bool allow) {
            allowed = allow;
            return false;
        };
        env.parse(IniLines({"[盒子]", value, "[汀芷·甲]"}));
        EXPECT_FALSE(allowed) << value;
    }
}

TEST(ParseCatalog, ProgramSectionsAreThoseWhoseHeaderContainsTheMakersMark) {
    CatalogEnv env;
    ASSERT_EQ(env.parse(IniLines({"[盒子]", "[新版汀芷·丙]", "[汀芷丁]", "[汀芷·甲]", "[其他]",
                                  "x=[汀芷·假]", "[汀芷·乙]"})),
              3);
    // In the middle of a name counts; the maker's name without the dot does
    // not; a header inside a value is no header.
    EXPECT_EQ(env.names(), (std::vector<std::string>{"新版汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(env.list.at(i).nameControl.tag, std::to_string(i));
        EXPECT_EQ(env.number("软件排序_官方顺序", env.list.at(i).entry.name), i);
    }
}

TEST(ParseCatalog, KindsGiveTheTagsBeforeTheName) {
    CatalogEnv env;
    ASSERT_EQ(env.parse(IniLines({"[汀芷·一]", "软件类型=1", "[汀芷·二]", "软件类型=2", "[汀芷·三]",
                                  "软件类型=3", "[汀芷·无]", "[汀芷·小数]", "软件类型=2.9",
                                  "[汀芷·负]", "软件类型=-1.5", "[汀芷·大]", "软件类型=1e300"})),
              7);
    const int expectedKinds[] = {1, 2, 3, 0, 2, -1, 2147483647};
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(env.list.at(i).entry.kind, expectedKinds[i - 1]) << i;
    auto captionStart = [&](int i) {
        return GbkToUtf8(env.list.at(i).nameControl.caption.substr(0, 12));
    };
    EXPECT_EQ(captionStart(1), "[免]汀芷·一");
    EXPECT_EQ(captionStart(2), "[游]汀芷·二");
    EXPECT_EQ(GbkToUtf8(env.list.at(3).nameControl.caption.substr(0, 8)), "汀芷·三");
    EXPECT_EQ(GbkToUtf8(env.list.at(4).nameControl.caption.substr(0, 8)), "汀芷·无");
    EXPECT_EQ(GbkToUtf8(env.list.at(5).nameControl.caption.substr(0, 14)), "[游]汀芷·小数");
}

TEST(ParseCatalog, EveryLoadRewritesTheOfficialOrder) {
    CatalogEnv env;
    env.parse(IniLines({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"}));
    EXPECT_EQ(env.number("软件排序_官方顺序", G("汀芷·丙")), 3);
    // The same store, a new catalog: the programs in another order, one gone.
    env.parse(IniLines({"[汀芷·丙]", "[汀芷·甲]", "[汀芷·丁]"}));
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·丁"}));
    EXPECT_EQ(env.number("软件排序_官方顺序", G("汀芷·丙")), 1);
    EXPECT_EQ(env.number("软件排序_官方顺序", G("汀芷·甲")), 2);
    EXPECT_EQ(env.number("软件排序_官方顺序", G("汀芷·丁")), 3);
    // A program that left the catalog keeps its old key.
    EXPECT_EQ(env.number("软件排序_官方顺序", G("汀芷·乙")), 2);
}

TEST(ParseCatalog, WithoutProgramsTheBoxSaysSoAndEnds) {
    for (const Text& catalog :
         {Text(), IniLines({"[盒子]", "最新版本=1.0"}), IniLines({"[汀芷·..]", "[汀芷·a/b]"})}) {
        CatalogEnv env;
        EXPECT_EQ(env.parse(catalog), 0);
        EXPECT_EQ(env.exitCode, 0);
        ASSERT_EQ(env.dialogs.shown.size(), 1u);
        EXPECT_EQ(env.dialogs.shown[0].text, G("配置文件出错。请咨询汀芷！"));
        EXPECT_EQ(env.dialogs.shown[0].title, G("信息："));
        EXPECT_EQ(env.dialogs.shown[0].flags & kMbButtonMask, kMbOk);
        EXPECT_TRUE(env.list.empty());
    }
}

TEST(ParseCatalog, SectionsThatWouldLeaveTheBoxFolderGetNoRow) {
    CatalogEnv env;
    const Text catalog =
        IniLines({"[汀芷·..]", "[..\\汀芷·x]", "[汀芷·a\\..\\..\\b]", "[/tmp/汀芷·c]", "[汀芷·好]",
                  "[汀芷·d:e]", "[汀芷·f.]", "[汀芷·g ]", "[CON.汀芷·h]", "[汀芷·\x01]"}) +
        "\r\n" + G("[汀芷·") + "\xFF]";  // a byte that is no GBK
    ASSERT_EQ(env.parse(catalog), 1);
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·好"}));
    EXPECT_EQ(env.list.at(1).nameControl.tag, "1");
    EXPECT_EQ(env.number("软件排序_官方顺序", G("..\\汀芷·x")), -1);
    EXPECT_EQ(env.exitCode, -1);
}

TEST(ParseCatalog, SafeNamesAreSinglePathComponents) {
    EXPECT_TRUE(IsSafeProgramName(G("汀芷·视频转换器")));
    EXPECT_TRUE(IsSafeProgramName(G("汀芷·A-B_C (2) v1.0")));
    // A GBK character whose trail byte is "\" is a character, not a separator.
    EXPECT_TRUE(IsSafeProgramName(G("汀芷·") + "\x81\x5C"));
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "a:b", "a*", "a?", "a\"b", "<a>", "a|b",
                            "a\tb", "a.", "a ", "nul", "COM1.txt", "lpt9"}) {
        EXPECT_FALSE(IsSafeProgramName(G(bad))) << bad;
    }
    EXPECT_FALSE(IsSafeProgramName("\xFF\xFE"));
    EXPECT_FALSE(IsSafeProgramName(std::string(300, 'a')));
    EXPECT_TRUE(IsSafeProgramName("com10"));
}

TEST(ParseCatalog, InstalledProgramsGetTheirVersionStatusAndIcon) {
    CatalogEnv env;
    env.install("汀芷·旧", "1.0.0.0", {{test::SolidPicture(32, 32, 0xFF3366CC)}});
    env.install("汀芷·新", "2.0");
    ASSERT_EQ(env.parse(IniLines({"[汀芷·旧]", "最新版本=1.1", "[汀芷·新]", "最新版本=1.9.9",
                                  "[汀芷·无]", "最新版本=1.0"})),
              3);
    const ProgramRow& old = env.list.at(1);
    EXPECT_EQ(old.entry.installedVersion, "1.0.0.0");
    EXPECT_EQ(old.entry.status, kUpdateAvailable);
    EXPECT_FALSE(old.iconControl.iconBmp.empty());
    EXPECT_EQ(env.list.at(2).entry.status, kUpToDate);
    EXPECT_FALSE(env.list.at(2).actionButton.enabled);
    EXPECT_EQ(env.list.at(3).entry.status, kNotDownloaded);
    EXPECT_TRUE(env.list.at(3).iconControl.iconBmp.empty());
}

}  // namespace
}  // namespace box
