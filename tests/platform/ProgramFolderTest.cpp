#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ProgramFolder.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

namespace fs = std::filesystem;

// A box folder and, beside it, files the box must never touch.
class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::create_directories(box() / "prog" / "sub"));
        ASSERT_TRUE(fs::create_directories(outside() / "dir"));
        ASSERT_TRUE(WriteFileBytes(box() / "prog" / "app.exe", "MZ"));
        ASSERT_TRUE(WriteFileBytes(box() / "prog" / "sub" / "data.bin", "data"));
        ASSERT_TRUE(WriteFileBytes(outside() / "keep.txt", "keep"));
        ASSERT_TRUE(WriteFileBytes(outside() / "dir" / "inner.txt", "inner"));
    }
    fs::path box() const { return dir_.path() / "box"; }
    fs::path outside() const { return dir_.path() / "outside"; }
    void ExpectOutsideIntact() const {
        EXPECT_EQ(ReadFileBytes(outside() / "keep.txt"), "keep");
        EXPECT_EQ(ReadFileBytes(outside() / "dir" / "inner.txt"), "inner");
    }

private:
    test::TempDir dir_;
};

TEST_F(ProgramFolderTest, LinksInsideAreRemovedAndTheirTargetsSurvive) {
    fs::create_symlink(outside() / "keep.txt", box() / "prog" / "file-link");
    fs::create_directory_symlink(outside() / "dir", box() / "prog" / "sub" / "dir-link");
    fs::create_directory_symlink(outside(), box() / "prog" / "parent-link");

    EXPECT_TRUE(RemoveProgramFolder(box(), box() / "prog"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(box() / "prog")));
    EXPECT_TRUE(fs::is_directory(box()));
    ExpectOutsideIntact();
}

TEST_F(ProgramFolderTest, AProgramFolderThatIsALinkLosesOnlyTheLink) {
    fs::create_directory_symlink(outside() / "dir", box() / "linked");
    EXPECT_TRUE(RemoveProgramFolder(box(), box() / "linked"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(box() / "linked")));
    ExpectOutsideIntact();
}

TEST_F(ProgramFolderTest, RefusesTheBoxFolderAndAnythingOutsideIt) {
    // A link on the way in leads outside, though the path reads as inside.
    fs::create_directory_symlink(outside(), box() / "way-out");
    const fs::path refused[] = {
        box(),
        box() / ".",
        box() / "",
        box() / "prog" / "..",
        box() / ".." / "outside",
        box() / ".." / "outside" / "dir",
        outside() / "dir",
        box() / "way-out" / "dir",
        "../x",
        box() / "missing",
        "",
    };
    for (const auto& folder : refused) {
        EXPECT_FALSE(RemoveProgramFolder(box(), folder)) << folder;
    }
    EXPECT_FALSE(RemoveProgramFolder("", box() / "prog"));
    EXPECT_EQ(ReadFileBytes(box() / "prog" / "app.exe"), "MZ");
    EXPECT_TRUE(fs::is_symlink(box() / "way-out"));
    ExpectOutsideIntact();
}

TEST_F(ProgramFolderTest, BoxFolderGivenWithDotsOrTrailingSeparator) {
    EXPECT_TRUE(RemoveProgramFolder(box() / "prog" / ".." / "", box() / "prog" / ""));
    EXPECT_FALSE(fs::exists(box() / "prog"));
}

TEST_F(ProgramFolderTest, ReadOnlyParentFailsAndKeepsTheFiles) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    fs::create_directory(box() / "locked");
    fs::rename(box() / "prog", box() / "locked" / "prog");
    fs::permissions(box() / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    EXPECT_FALSE(RemoveProgramFolder(box(), box() / "locked" / "prog"));
    EXPECT_EQ(ReadFileBytes(box() / "locked" / "prog" / "app.exe"), "MZ");
    EXPECT_EQ(ReadFileBytes(box() / "locked" / "prog" / "sub" / "data.bin"), "data");
    fs::permissions(box() / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace box
