// Whole-file reads and writes: only regular files are read, and a write
// replaces its target whole, through a file of its own, or leaves it alone.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "FifoGuard.h"
#include "TestDoubles.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {
namespace {

namespace fs = std::filesystem;

// The box's own (GBK) form of a path.
Text T(const fs::path& path) {
    return FromFsPath(path);
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

TEST(FileWrite, LinksPlantedInTheFolderAreNeverWrittenThrough) {
    test::TempDir box, outside;
    const fs::path victim = outside.path() / "victim";
    ASSERT_TRUE(WriteFileBytes(T(victim), "precious"));

    // A link at the name that the temporary file once had, and a link at the
    // target itself: the first is ignored, the second is replaced.
    const fs::path target = box.path() / "汀芷·软件列表.ini";
    fs::create_symlink(victim, box.path() / "汀芷·软件列表.ini.part~");
    ASSERT_TRUE(WriteFileBytes(T(target), "new catalog"));
    EXPECT_EQ(ReadFileBytes(T(victim)), "precious");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ReadFileBytes(T(target)), "new catalog");

    const fs::path linked = box.path() / "linked.ini";
    fs::create_symlink(victim, linked);
    ASSERT_TRUE(WriteFileBytes(T(linked), "replaced"));
    EXPECT_EQ(ReadFileBytes(T(victim)), "precious");
    EXPECT_FALSE(fs::is_symlink(linked));
    EXPECT_EQ(ReadFileBytes(T(linked)), "replaced");

    // Appending does not follow a link either.
    EXPECT_FALSE(WriteFileText(T(box.path() / "汀芷·软件列表.ini.part~"), "more", true));
    EXPECT_EQ(ReadFileBytes(T(victim)), "precious");

    EXPECT_EQ(Names(box.path()), (std::set<std::string>{"汀芷·软件列表.ini",
                                                        "汀芷·软件列表.ini.part~", "linked.ini"}));
}

TEST(FileWrite, AFolderOrFileAtAnyFixedTemporaryNameDoesNotStopTheWrite) {
    test::TempDir box;
    const fs::path target = box.path() / "settings.ini";
    fs::create_directory(box.path() / "settings.ini.part~");
    ASSERT_TRUE(WriteFileBytes(T(target), "a=1"));
    EXPECT_EQ(ReadFileBytes(T(target)), "a=1");
    ASSERT_TRUE(WriteFileBytes(T(target), "a=2"));
    EXPECT_EQ(ReadFileBytes(T(target)), "a=2");
    EXPECT_EQ(Names(box.path()), (std::set<std::string>{"settings.ini", "settings.ini.part~"}));
}

// Files may not grow beyond a few bytes while this lives, so every write
// past them fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
};

TEST(FileWrite, AFailedWriteLeavesTheOldFileAndNothingElse) {
    test::TempDir box;
    const fs::path target = box.path() / "汀芷·软件盒子.ini";
    ASSERT_TRUE(WriteFileBytes(T(target), "old"));
    {
        FileSizeLimit limit(16);
        EXPECT_FALSE(WriteFileBytes(T(target), std::string(1000, 'n')));
    }
    EXPECT_EQ(ReadFileBytes(T(target)), "old");
    EXPECT_EQ(Names(box.path()), std::set<std::string>{"汀芷·软件盒子.ini"});

    // The rename fails: a folder that is not empty holds the name.
    const fs::path folder = box.path() / "busy";
    fs::create_directories(folder / "inside");
    EXPECT_FALSE(WriteFileBytes(T(folder), "x"));
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    EXPECT_EQ(Names(box.path()), (std::set<std::string>{"汀芷·软件盒子.ini", "busy"}));

    // A missing folder, and names that are no file.
    EXPECT_FALSE(WriteFileBytes(T(box.path() / "missing" / "a.ini"), "x"));
    EXPECT_FALSE(WriteFileBytes(box.path() / "..", "x"));
    EXPECT_FALSE(WriteFileBytes(fs::path(), "x"));
    EXPECT_EQ(Names(box.path()), (std::set<std::string>{"汀芷·软件盒子.ini", "busy"}));
}

TEST(FileRead, FifosDevicesAndFoldersAreNotRead) {
    test::TempDir dir;
    const fs::path fifo = dir.path() / "汀芷·软件列表.ini";
    ASSERT_TRUE(test::MakeFifo(fifo));
    std::optional<std::string> bytes = "unset";
    Text text;
    EXPECT_TRUE(test::ReturnsWithoutAWriter(fifo, [&] {
        bytes = ReadFileBytes(T(fifo));
        text = ReadFileText(T(fifo), "def");
    }));
    EXPECT_EQ(bytes, std::nullopt);
    EXPECT_EQ(text, "def");

    EXPECT_EQ(ReadFileBytes(fs::path("/dev/null")), std::nullopt);
    EXPECT_EQ(ReadFileBytes(dir.path()), std::nullopt);
    EXPECT_EQ(ReadFileBytes(fs::path()), std::nullopt);
    EXPECT_EQ(ReadFileText(fs::path("/dev/zero"), "def"), "def");
}

TEST(FileRead, ASizeLimitRefusesLargerFiles) {
    test::TempDir dir;
    const fs::path file = dir.path() / "a.lnk";
    ASSERT_TRUE(WriteFileBytes(T(file), std::string(10, 'x')));
    EXPECT_EQ(ReadFileBytes(T(file), 10), std::string(10, 'x'));
    EXPECT_EQ(ReadFileBytes(T(file), 9), std::nullopt);
    ASSERT_TRUE(WriteFileBytes(T(file), std::string(100000, 'y')));
    EXPECT_EQ(ReadFileBytes(T(file))->size(), 100000u);
    ASSERT_TRUE(WriteFileBytes(T(file), ""));
    EXPECT_EQ(ReadFileBytes(T(file)), "");
}

}  // namespace
}  // namespace box
