#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "FifoGuard.h"
#include "PeWriter.h"
#include "TestDoubles.h"
#include "platform/PeResources.h"
#include "support/Text.h"

namespace box {
namespace {

using test::BuildPe;
using test::IconFormat;
using test::PeLayout;
using test::SolidPicture;

std::string Translation(std::string_view block) {
    auto value = QueryVersionValue(block, "\\VarFileInfo\\Translation");
    return value ? *value : std::string("<none>");
}

TEST(PeResources, ReadsTheVersionBlockOfBothImageKinds) {
    for (bool pe64 : {false, true}) {
        SCOPED_TRACE(pe64 ? "PE32+" : "PE32");
        PeLayout layout = test::ProgramLayout("1.2.3.4", pe64);
        layout.version->strings.push_back({"Comments", "一二三"});
        auto file = PeFile::FromBytes(BuildPe(layout));
        ASSERT_TRUE(file);
        EXPECT_EQ(file->is64Bit(), pe64);
        auto block = file->versionBlock();
        ASSERT_TRUE(block);
        EXPECT_EQ(Translation(*block), std::string("\x04\x08\xB0\x04", 4));
        EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\080404B0\\FileVersion"), "1.2.3.4");
        // Strings come out in GBK; keys compare without case.
        EXPECT_EQ(QueryVersionValue(*block, "\\stringfileinfo\\080404b0\\comments"), "一二三"_gbk);
        EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\040904B0\\FileVersion"));
        EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\080404B0\\Missing"));
        // The root value is the fixed file info, starting with its signature.
        auto fixed = QueryVersionValue(*block, "\\");
        ASSERT_TRUE(fixed);
        ASSERT_EQ(fixed->size(), 52u);
        EXPECT_EQ(fixed->substr(0, 4), std::string("\xBD\x04\xEF\xFE", 4));
    }
}

TEST(PeResources, CharactersOutsideGbkBecomeOneQuestionMarkEach) {
    PeLayout layout = test::ProgramLayout("1.0");
    layout.version->strings.push_back({"Comments", "a😀b€c"});
    auto block = PeFile::FromBytes(BuildPe(layout))->versionBlock();
    ASSERT_TRUE(block);
    // The euro sign exists in GBK (0x80), the emoji does not.
    EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\080404B0\\Comments"),
              "a?b\x80"
              "c");
}

TEST(PeResources, FilesThatAreNoExecutablesHaveNoResources) {
    EXPECT_FALSE(PeFile::FromBytes(""));
    EXPECT_FALSE(PeFile::FromBytes("MZ"));
    EXPECT_FALSE(PeFile::FromBytes(std::string(4096, 'x')));
    std::string pe = BuildPe(test::ProgramLayout("1.0"));
    std::string wrongMagic = pe;
    wrongMagic[0x58] = 0x07;  // optional header magic
    EXPECT_FALSE(PeFile::FromBytes(wrongMagic));
    std::string farHeader = pe;
    farHeader[0x3F] = static_cast<char>(0xFF);  // e_lfanew beyond the file
    EXPECT_FALSE(PeFile::FromBytes(farHeader));
    EXPECT_FALSE(PeFile::Open(Text("/nonexistent/a.exe")));
    EXPECT_FALSE(PeFile::Open(std::filesystem::path("/tmp")));  // a folder
    EXPECT_FALSE(PeFile::Open(std::filesystem::path("/dev/zero")));

    // A FIFO under a program's name: refused, without waiting for a writer.
    test::TempDir dir;
    const std::filesystem::path fifo = dir.path() / "汀芷·工具.exe";
    ASSERT_TRUE(test::MakeFifo(fifo));
    bool opened = true;
    EXPECT_TRUE(
        test::ReturnsWithoutAWriter(fifo, [&] { opened = PeFile::Open(fifo).has_value(); }));
    EXPECT_FALSE(opened);

    // A valid image without any resource.
    auto bare = PeFile::FromBytes(BuildPe(PeLayout{}));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->versionBlock());
    EXPECT_TRUE(bare->iconGroup().empty());
    EXPECT_FALSE(bare->iconImage(32, 32));
}

TEST(PeResources, RandomlyDamagedImagesNeverCrash) {
    PeLayout layout = test::ProgramLayout("2.5.0.1", true);
    layout.icons = {{SolidPicture(16, 16, 0xFF102030), IconFormat::kDib8},
                    {SolidPicture(32, 32, 0x80FF0000), IconFormat::kPng}};
    const std::string pe = BuildPe(layout);
    // A version node that claims more bytes than its parent holds.
    std::string block = *PeFile::FromBytes(pe)->versionBlock();
    block[0] = block[1] = static_cast<char>(0xFF);
    EXPECT_FALSE(QueryVersionValue(block, "\\StringFileInfo\\080404B0\\FileVersion"));
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = pe;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
        }
        if (auto file = PeFile::FromBytes(damaged)) {
            if (auto block = file->versionBlock()) {
                QueryVersionValue(*block, "\\VarFileInfo\\Translation");
                QueryVersionValue(*block, "\\StringFileInfo\\080404B0\\FileVersion");
            }
            file->iconImage(32, 32);
        }
    }
}

TEST(PeResources, IconGroupAndImagesComeFromTheResources) {
    PeLayout layout;
    layout.pe64 = true;
    layout.icons = {{SolidPicture(16, 16, 0xFF0000FF), IconFormat::kDib24},
                    {SolidPicture(32, 32, 0xFF00FF00), IconFormat::kDib32},
                    {SolidPicture(256, 256, 0xFFFF0000), IconFormat::kPng}};
    auto file = PeFile::FromBytes(BuildPe(layout));
    ASSERT_TRUE(file);
    auto group = file->iconGroup();
    ASSERT_EQ(group.size(), 3u);
    EXPECT_EQ(group[2].width, 256);  // stored as 0
    EXPECT_EQ(group[1].bitCount, 32);
    auto image = file->iconImage(32, 32);
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, test::EncodeIconImage(layout.icons[1].picture, IconFormat::kDib32));
    // Among equal sizes the most colours win.
    EXPECT_EQ(ChooseIconImage({{32, 32, 8, 1}, {32, 32, 32, 2}, {48, 48, 32, 3}}, 32, 32), 1);
    // Asked for a large size, the PNG image is the one.
    EXPECT_EQ(file->iconImage(128, 128)->substr(1, 3), "PNG");
}

}  // namespace
}  // namespace box
