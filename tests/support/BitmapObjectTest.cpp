#include <gtest/gtest.h>

#include "PeWriter.h"
#include "support/BitmapObject.h"

namespace box {
namespace {

using test::HalfTransparent;
using test::SolidPicture;

std::uint32_t U32At(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

// The pixel (x, y) of a 32-bit BMP file (rows bottom-up) as 0xRRGGBB.
std::uint32_t BmpPixel(const std::string& bmp, int x, int y) {
    const int width = static_cast<int>(U32At(bmp, 18));
    const int height = static_cast<int>(U32At(bmp, 22));
    return U32At(bmp, 54 + static_cast<std::size_t>((height - 1 - y) * width + x) * 4) & 0xFFFFFF;
}

TEST(BitmapObject, IconAt32x32Over32BitsHasTheBmpLayout) {
    BitmapObject bitmap;
    EXPECT_EQ(bitmap.toBmpFile(), std::string("BM\x0E\0\0\0\0\0\0\0\x36\0\0\0", 14));
    ASSERT_TRUE(bitmap.fromIcon(SolidPicture(32, 32, 0)));
    const std::string bmp = bitmap.toBmpFile();
    ASSERT_EQ(bmp.size(), 14u + 40 + 4096);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32At(bmp, 2), bmp.size());
    EXPECT_EQ(U32At(bmp, 6), 0u);
    EXPECT_EQ(U32At(bmp, 10), 54u);
    EXPECT_EQ(U32At(bmp, 14), 40u);
    EXPECT_EQ(U32At(bmp, 18), 32u);
    EXPECT_EQ(U32At(bmp, 22), 32u);  // positive: bottom-up
    EXPECT_EQ(U32At(bmp, 26), 1u | 32u << 16);
    for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(U32At(bmp, at), 0u) << at;
    // A fully transparent icon leaves the white background.
    for (std::size_t at = 54; at < bmp.size(); at += 4) {
        ASSERT_EQ(U32At(bmp, at), 0x00FFFFFFu) << at;
    }
}

TEST(BitmapObject, UnsupportedDepthsAndEmptyRectanglesLeaveThePictureAlone) {
    BitmapObject bitmap;
    ASSERT_TRUE(bitmap.fromIcon(SolidPicture(8, 8, 0xFF123456), 8, 8));
    const std::string before = bitmap.toBmpFile();
    Canvas canvas(4, 4);
    EXPECT_FALSE(bitmap.fromDC(canvas, {0, 0, 4, 4}, 12));
    EXPECT_FALSE(bitmap.fromDC(canvas, {0, 0, 4, 4}, 0));
    EXPECT_FALSE(bitmap.fromDC(canvas, {0, 0, 0, 4}, 32));
    EXPECT_FALSE(bitmap.fromIcon(SolidPicture(8, 8, 0), 32, 32, 12));
    EXPECT_EQ(bitmap.toBmpFile(), before);
}

TEST(BitmapObject, EveryDepthPacksRowsToFourBytesWithItsColourTable) {
    Canvas canvas(3, 2);
    canvas.fillRect({0, 0, 3, 2}, 0xFFFFFF);
    canvas.fillRect({0, 0, 1, 1}, 0xFF0000);  // top-left red
    canvas.fillRect({2, 1, 5, 5}, 0x000000);  // clipped to the bottom-right pixel
    struct Case {
        int depth;
        std::size_t table;
        std::size_t stride;
    } cases[] = {{1, 8, 4}, {4, 64, 4}, {8, 1024, 4}, {16, 0, 8}, {24, 0, 12}, {32, 0, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        BitmapObject bitmap;
        ASSERT_TRUE(bitmap.fromDC(canvas, {0, 0, 3, 2}, c.depth));
        const std::string bmp = bitmap.toBmpFile();
        EXPECT_EQ(U32At(bmp, 10), 54 + c.table);
        EXPECT_EQ(bmp.size(), 54 + c.table + 2 * c.stride);
        EXPECT_EQ(U32At(bmp, 28) & 0xFFFF, static_cast<std::uint32_t>(c.depth));
    }
    // Checked pixel values at 24 bits: bottom row first.
    BitmapObject bitmap;
    ASSERT_TRUE(bitmap.fromDC(canvas, {0, 0, 3, 2}, 24));
    const std::string bmp = bitmap.toBmpFile();
    EXPECT_EQ(bmp.substr(54, 12), std::string("\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0\0\0\0", 12));
    EXPECT_EQ(bmp.substr(66, 12), std::string("\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0", 12));
    // At 1 bit: white is index 1, black and red round to index 0.
    ASSERT_TRUE(bitmap.fromDC(canvas, {0, 0, 3, 2}, 1));
    const std::string mono = bitmap.toBmpFile();
    EXPECT_EQ(static_cast<unsigned char>(mono[62]), 0xC0);  // bottom row: white white black
    EXPECT_EQ(static_cast<unsigned char>(mono[66]), 0x60);  // top row: red white white
    // A rectangle reaching beyond the canvas keeps black there.
    ASSERT_TRUE(bitmap.fromDC(canvas, {2, 0, 2, 1}, 32));
    EXPECT_EQ(BmpPixel(bitmap.toBmpFile(), 0, 0), 0xFFFFFFu);
    EXPECT_EQ(BmpPixel(bitmap.toBmpFile(), 1, 0), 0u);
}

TEST(BitmapObject, DrawingBlendsOverWhiteAndScalesByArea) {
    BitmapObject bitmap;
    ASSERT_TRUE(bitmap.fromIcon(HalfTransparent(), 4, 4));
    const std::string bmp = bitmap.toBmpFile();
    EXPECT_EQ(BmpPixel(bmp, 0, 0), 0xFF0000u);
    EXPECT_EQ(BmpPixel(bmp, 2, 2), 0xFFFFFFu);
    EXPECT_EQ(BmpPixel(bmp, 3, 0), 0x8080FFu);  // half blue over white

    // 4 x 4 down to 2 x 2: each target pixel is the mean of a 2 x 2 block.
    ASSERT_TRUE(bitmap.fromIcon(HalfTransparent(), 2, 2));
    const std::string small = bitmap.toBmpFile();
    EXPECT_EQ(BmpPixel(small, 0, 1), 0xFF0000u);
    EXPECT_EQ(BmpPixel(small, 1, 1), 0xFFFFFFu);
    // Top right: one quarter-covered half-blue pixel in transparent ones.
    EXPECT_EQ(BmpPixel(small, 1, 0), 0xDFDFFFu);

    // 2 x 2 up to 4 x 4 repeats each pixel in a 2 x 2 block.
    IconPicture tiny = SolidPicture(2, 2, 0xFF00FF00);
    tiny.argb[3] = 0xFF0000FF;
    ASSERT_TRUE(bitmap.fromIcon(tiny, 4, 4));
    const std::string big = bitmap.toBmpFile();
    EXPECT_EQ(BmpPixel(big, 1, 1), 0x00FF00u);
    EXPECT_EQ(BmpPixel(big, 2, 2), 0x0000FFu);
    EXPECT_EQ(BmpPixel(big, 3, 3), 0x0000FFu);
}

}  // namespace
}  // namespace box
