#include <gtest/gtest.h>

#include "TestDoubles.h"
#include "catalog/EntryCaptions.h"

namespace box {
namespace {

using test::G;

CatalogEntry Entry(const char* name, int status, const char* installed, const char* latest,
                   int kind = 0) {
    CatalogEntry e;
    e.name = G(name);
    e.status = status;
    e.installedVersion = installed;
    e.latestVersion = latest;
    e.kind = kind;
    return e;
}

TEST(EntryCaptions, CaptionsFollowTheStatusWithTheirBlankFill) {
    // Tag and name take 12 bytes, so 20 blanks follow.
    CatalogEntry e = Entry("汀芷·甲", kNotDownloaded, "", "1.2", 1);
    EXPECT_EQ(NameCaption(e), G("[免]汀芷·甲") + std::string(20, ' ') + G(" (未下载)"));
    EXPECT_EQ(ActionCaption(e), G("下载 v1.2") + std::string(8, ' '));
    e.latestVersion.clear();
    EXPECT_EQ(ActionCaption(e), G("下载 v0.0.0.0") + std::string(4, ' '));

    e = Entry("汀芷·乙", kUpdateAvailable, "1.0", "1.1", 2);
    EXPECT_EQ(NameCaption(e), G("[游]汀芷·乙") + std::string(20, ' ') + " v1.0");
    EXPECT_EQ(ActionCaption(e), G("升级 v1.1") + std::string(8, ' '));

    e = Entry("汀芷·丙", kUpToDate, "1.1", "1.1", 3);
    EXPECT_EQ(NameCaption(e), G("汀芷·丙") + std::string(24, ' ') + " v1.1");
    EXPECT_EQ(ActionCaption(e), G("已是最新版本!") + std::string(4, ' '));

    // Too long for the fill: no blanks at all.
    e = Entry("汀芷·一个名字非常非常非常长的软件", kUpToDate, "9", "9");
    EXPECT_EQ(NameCaption(e), e.name + " v9");
    e = Entry("x", kNotDownloaded, "", "1.2.3.4.5.6.7.8");
    EXPECT_EQ(ActionCaption(e), G("下载 v1.2.3.4.5.6.7.8"));
}

}  // namespace
}  // namespace box
