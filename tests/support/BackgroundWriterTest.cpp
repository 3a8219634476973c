#include <gtest/gtest.h>

#include <string>

#include "TestDoubles.h"
#include "support/BackgroundWriter.h"
#include "support/FileText.h"

namespace box {
namespace {

TEST(BackgroundWriter, WritesInOrderAndFinishesQueuedWritesWhenItGoes) {
    test::TempDir dir;
    const auto file = dir.path() / "copy.ini";
    {
        BackgroundWriter writer;
        writer.Write(file, "first");
        writer.Write(file, "second");
        writer.Flush();
        EXPECT_EQ(ReadFileBytes(file), "second");
        for (int i = 0; i < 50; ++i) writer.Write(dir.path() / ("f" + std::to_string(i)), "x");
        writer.Write(file, std::string(1 << 20, 'z'));
    }
    // Gone: every queued write has ended.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(ReadFileBytes(dir.path() / ("f" + std::to_string(i))), "x");
    EXPECT_EQ(ReadFileBytes(file), std::string(1 << 20, 'z'));
}

TEST(BackgroundWriter, AFailedWriteDoesNotStopTheOthers) {
    test::TempDir dir;
    BackgroundWriter writer;
    writer.Write(dir.path() / "missing-folder" / "a", "lost");
    writer.Write(dir.path() / "b", "kept");
    writer.Flush();
    EXPECT_EQ(ReadFileBytes(dir.path() / "b"), "kept");
    EXPECT_FALSE(ReadFileBytes(dir.path() / "missing-folder" / "a"));
}

}  // namespace
}  // namespace box
