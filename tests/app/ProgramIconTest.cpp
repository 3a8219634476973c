#include <gtest/gtest.h>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/ProgramIcon.h"
#include "support/BoxFolder.h"

namespace box {
namespace {

using test::IconFormat;
using test::SolidPicture;

std::uint32_t PixelAt(const std::string& bmp, int x, int y) {
    const std::size_t at = 54 + static_cast<std::size_t>((31 - y) * 32 + x) * 4;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 1])) << 8 |
           static_cast<unsigned char>(bmp[at]);
}

// A 32 x 32 picture: a green square in the middle, transparent around it,
// and a white stripe inside the square that must turn grey as well.
IconPicture SquareWithHole() {
    IconPicture p = SolidPicture(32, 32, 0);
    for (int y = 8; y < 24; ++y) {
        for (int x = 8; x < 24; ++x) p.argb[static_cast<std::size_t>(y * 32 + x)] = 0xFF00C000;
    }
    for (int x = 8; x < 24; ++x) p.argb[static_cast<std::size_t>(16 * 32 + x)] = 0xFFFFFFFF;
    return p;
}

std::string IconOf(const test::TempDir& dir, std::vector<test::PeIcon> icons) {
    test::PeLayout layout = test::ProgramLayout("1.0");
    layout.icons = std::move(icons);
    const auto path = dir.path() / "p.exe";
    EXPECT_TRUE(test::WritePe(path, layout));
    return ProgramIconBmp(FromFsPath(path));
}

TEST(ProgramIcon, TransparentAndWhitePixelsBecomeTheListGrey) {
    test::TempDir dir;
    for (IconFormat format : {IconFormat::kPng, IconFormat::kDib24, IconFormat::kDib8,
                              IconFormat::kDib32, IconFormat::kDib32MaskOnly}) {
        SCOPED_TRACE(static_cast<int>(format));
        const std::string bmp = IconOf(dir, {{SquareWithHole(), format}});
        ASSERT_EQ(bmp.size(), 14u + 40 + 4096);
        EXPECT_EQ(bmp[10], 54);
        EXPECT_EQ(PixelAt(bmp, 0, 0), 0xF5F5F5u);  // transparent corner
        EXPECT_EQ(PixelAt(bmp, 31, 31), 0xF5F5F5u);
        EXPECT_EQ(PixelAt(bmp, 10, 10), 0x00C000u);  // the icon itself
        EXPECT_EQ(PixelAt(bmp, 12, 16), 0xF5F5F5u);  // white inside the icon
        EXPECT_EQ(bmp.find("\xFF\xFF\xFF"), std::string::npos);
    }
}

TEST(ProgramIcon, TheImageNearest32PixelsIsDrawn) {
    test::TempDir dir;
    const std::string bmp = IconOf(dir, {{SolidPicture(16, 16, 0xFFFF0000)},
                                         {SolidPicture(48, 48, 0xFF0000FF), IconFormat::kPng},
                                         {SolidPicture(32, 32, 0xFF00FF00), IconFormat::kDib24}});
    EXPECT_EQ(PixelAt(bmp, 5, 5), 0x00FF00u);
    // Only larger and smaller ones: the larger one, scaled down.
    const std::string scaled = IconOf(dir, {{SolidPicture(16, 16, 0xFFFF0000)},
                                            {SolidPicture(64, 64, 0xFF0000FF), IconFormat::kPng}});
    EXPECT_EQ(PixelAt(scaled, 31, 31), 0x0000FFu);
}

TEST(ProgramIcon, WithoutAUsableIconTheBoxDrawsItsOwn) {
    test::TempDir dir;
    BitmapObject own;
    ASSERT_TRUE(own.fromIcon(DefaultApplicationIcon()));
    const std::string expected = ReplaceAll(own.toBmpFile(), "\xFF\xFF\xFF", "\xF5\xF5\xF5");
    // The default is a picture, not an empty square.
    EXPECT_NE(PixelAt(expected, 16, 6), 0xF5F5F5u);

    EXPECT_EQ(IconOf(dir, {}), expected);
    // An icon whose image data is damaged.
    IconPicture broken = SolidPicture(32, 32, 0xFF112233);
    test::PeLayout layout = test::ProgramLayout("1.0");
    layout.icons = {{broken, IconFormat::kDib24}};
    std::string pe = test::BuildPe(layout);
    const std::string image = test::EncodeIconImage(broken, IconFormat::kDib24);
    pe[pe.find(image) + 14] = 7;  // bit count 7
    ASSERT_TRUE(test::WriteFile(dir.path() / "q.exe", pe));
    EXPECT_EQ(ProgramIconBmp(FromFsPath(dir.path() / "q.exe")), expected);
    EXPECT_EQ(ProgramIconBmp(FromFsPath(dir.path() / "missing.exe")), expected);

    ControlState control;
    ShowProgramIcon(FromFsPath(dir.path() / "missing.exe"), control);
    EXPECT_EQ(control.iconBmp, expected);
}

}  // namespace
}  // namespace box
