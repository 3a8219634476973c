#include <gtest/gtest.h>

#include "CatalogTestSupport.h"
#include "app/RowBuilder.h"

namespace box {
namespace {

using test::G;

CatalogEntry Entry(const char* name, int status, const char* installed, const char* latest,
                   int kind = 0, const char* tutorial = "http://t") {
    CatalogEntry e;
    e.name = G(name);
    e.status = status;
    e.installedVersion = installed;
    e.latestVersion = latest;
    e.kind = kind;
    e.tutorialUrl = tutorial;
    return e;
}

TEST(BuildRow, RowsFollowEachOtherWithTheirTagsAndControls) {
    test::TempDir dir;
    ProgramList list;
    list.resize(30);
    for (int i = 1; i <= 30; ++i) {
        BuildRow(list, i, Entry("汀芷·甲", kNotDownloaded, "", "1.0", 0, i == 2 ? "" : "http://t"),
                 dir.gbk());
    }
    for (int i = 1; i <= 30; ++i) {
        const ProgramRow& r = list.at(i);
        const int top = 8 + (i - 1) * 26;
        EXPECT_EQ(r.nameControl.rect, (Rect{40, top, 344, 26})) << i;
        EXPECT_EQ(r.iconControl.rect, (Rect{8, top, 26, 26}));
        EXPECT_EQ(r.actionButton.rect, (Rect{392, top, 176, 26}));
        EXPECT_EQ(r.progressControl.rect, (Rect{579, top, 357, 26}));
        EXPECT_EQ(r.deleteButton.rect, (Rect{584, top, 104, 26}));
        EXPECT_EQ(r.tutorialButton.rect, (Rect{712, top, 104, 26}));
        EXPECT_EQ(r.hintControl.rect, (Rect{10, 0, 329, 26}));  // inside the progress control
        for (const ControlState* c :
             {&r.iconControl, &r.nameControl, &r.actionButton, &r.hintControl, &r.progressControl,
              &r.deleteButton, &r.tutorialButton}) {
            EXPECT_EQ(c->tag, std::to_string(i));
        }
        EXPECT_TRUE(r.iconControl.visible && r.nameControl.visible && r.actionButton.visible &&
                    r.deleteButton.visible && r.tutorialButton.visible);
        EXPECT_FALSE(r.progressControl.visible);
        EXPECT_EQ(r.idle, 1);
        EXPECT_EQ(r.actionCaption, r.actionButton.caption);
        // Not downloaded: template picture, nothing to delete.
        EXPECT_TRUE(r.iconControl.iconBmp.empty());
        EXPECT_FALSE(r.deleteButton.enabled);
        EXPECT_TRUE(r.actionButton.enabled);
    }
    EXPECT_EQ(list.at(30).tutorialButton.rect.top + 26, 788);
    EXPECT_EQ(list.at(2).tutorialButton.caption, G("暂无教程"));
    EXPECT_FALSE(list.at(2).tutorialButton.enabled);
    EXPECT_TRUE(list.at(1).tutorialButton.enabled);
    EXPECT_NE(list.at(1).tutorialButton.caption, G("暂无教程"));
    // Rows outside the list are ignored.
    BuildRow(list, 31, Entry("x", 0, "", ""), dir.gbk());
    BuildRow(list, 0, Entry("x", 0, "", ""), dir.gbk());
    EXPECT_EQ(list.size(), 30);
}

TEST(BuildRow, InstalledProgramsShowTheirIconInASmallerFrame) {
    test::TempDir dir;
    ASSERT_TRUE(test::InstallProgram(dir.path(), "汀芷·甲", test::ProgramLayout("1.0")));
    ProgramList list;
    list.resize(2);
    BuildRow(list, 2, Entry("汀芷·甲", kUpToDate, "1.0", "1.0"), dir.gbk());
    const ProgramRow& r = list.at(2);
    EXPECT_EQ(r.iconControl.rect, (Rect{11, 37, 23, 23}));
    EXPECT_EQ(r.iconControl.iconBmp.size(), 14u + 40 + 4096);
    EXPECT_FALSE(r.actionButton.enabled);
    EXPECT_TRUE(r.deleteButton.enabled);
}

TEST(RefreshRowStatus, FollowsTheExecutableAndKeepsTheSavedCaption) {
    test::TempDir dir;
    ProgramList list;
    list.resize(1);
    int changed = -1;
    list.onChanged = [&](int row) { changed = row; };
    BuildRow(list, 1, Entry("汀芷·甲", kNotDownloaded, "", "2.0"), dir.gbk());
    ProgramRow& r = list.at(1);
    r.actionButton.enabled = false;  // as while it was queued for download
    const Text saved = r.actionCaption;

    // Downloaded in an older version.
    ASSERT_TRUE(test::InstallProgram(dir.path(), "汀芷·甲", test::ProgramLayout("1.5")));
    RefreshRowStatus(list, 1, dir.gbk());
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(r.entry.installedVersion, "1.5");
    EXPECT_EQ(r.entry.status, kUpdateAvailable);
    EXPECT_EQ(r.nameControl.caption, G("汀芷·甲") + std::string(24, ' ') + " v1.5");
    EXPECT_EQ(r.actionButton.caption, G("升级 v2.0") + std::string(8, ' '));
    EXPECT_FALSE(r.actionButton.enabled);  // not asked to enable
    EXPECT_TRUE(r.deleteButton.enabled);
    EXPECT_FALSE(r.iconControl.iconBmp.empty());
    EXPECT_EQ(r.actionCaption, saved);
    RefreshRowStatus(list, 1, dir.gbk(), true);
    EXPECT_TRUE(r.actionButton.enabled);

    // Up to date: disabled even when asked to enable.
    ASSERT_TRUE(test::InstallProgram(dir.path(), "汀芷·甲", test::ProgramLayout("2.0")));
    RefreshRowStatus(list, 1, dir.gbk(), true);
    EXPECT_EQ(r.entry.status, kUpToDate);
    EXPECT_EQ(r.actionButton.caption, G("已是最新版本!    "));
    EXPECT_FALSE(r.actionButton.enabled);

    // Deleted: not downloaded again; the icon keeps its last picture.
    const std::string icon = r.iconControl.iconBmp;
    std::filesystem::remove_all(dir.path() / "汀芷·甲");
    RefreshRowStatus(list, 1, dir.gbk(), true);
    EXPECT_EQ(r.entry.status, kNotDownloaded);
    EXPECT_EQ(r.nameControl.caption, G("汀芷·甲") + std::string(24, ' ') + G(" (未下载)"));
    EXPECT_EQ(r.actionButton.caption, G("下载 v2.0") + std::string(8, ' '));
    EXPECT_TRUE(r.actionButton.enabled);
    EXPECT_FALSE(r.deleteButton.enabled);
    EXPECT_EQ(r.iconControl.iconBmp, icon);

    RefreshRowStatus(list, 2, dir.gbk());  // no such row: nothing happens
    RefreshRowStatus(list, 0, dir.gbk());
}

}  // namespace
}  // namespace box
