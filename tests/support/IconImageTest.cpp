#include <gtest/gtest.h>

#include "PeWriter.h"
#include "support/IconImage.h"

namespace box {
namespace {

using test::EncodeIconImage;
using test::HalfTransparent;
using test::IconFormat;
using test::SolidPicture;

TEST(IconImage, DecodesEveryIconImageFormatWithItsTransparency) {
    const IconPicture source = HalfTransparent();
    for (IconFormat format : {IconFormat::kDib32, IconFormat::kDib32MaskOnly, IconFormat::kDib24,
                              IconFormat::kDib8, IconFormat::kDib4, IconFormat::kPng}) {
        SCOPED_TRACE(static_cast<int>(format));
        auto decoded = DecodeIconImage(EncodeIconImage(source, format));
        ASSERT_TRUE(decoded);
        ASSERT_EQ(decoded->width, 4);
        ASSERT_EQ(decoded->height, 4);
        EXPECT_EQ(decoded->argb[0], 0xFFFF0000u);
        EXPECT_EQ(decoded->argb[5], 0xFFFF0000u);
        EXPECT_EQ(decoded->argb[6] >> 24, 0u);  // transparent
        EXPECT_EQ(decoded->argb[15] >> 24, 0u);
        // The half-transparent pixel keeps its alpha where the format has
        // alpha; the masked formats round it to transparent.
        const bool alpha = format == IconFormat::kDib32 || format == IconFormat::kPng;
        EXPECT_EQ(decoded->argb[3], alpha ? 0x7F0000FFu : 0u);
    }
}

TEST(IconImage, MalformedIconImagesAreRefused) {
    const std::string dib = EncodeIconImage(HalfTransparent(), IconFormat::kDib8);
    const std::string png = EncodeIconImage(HalfTransparent(), IconFormat::kPng);
    EXPECT_FALSE(DecodeIconImage(""));
    EXPECT_FALSE(DecodeIconImage(dib.substr(0, 39)));
    // Cut into the colour rows (the mask may be missing, the colours not).
    EXPECT_FALSE(DecodeIconImage(dib.substr(0, 40 + 1024 + 8)));
    EXPECT_FALSE(DecodeIconImage(png.substr(0, png.size() / 2)));
    std::string huge = dib;
    huge[5] = 0x7F;  // width 0x7F04
    EXPECT_FALSE(DecodeIconImage(huge));
    std::string compressed = dib;
    compressed[16] = 1;
    EXPECT_FALSE(DecodeIconImage(compressed));
    std::string badDepth = dib;
    badDepth[14] = 7;
    EXPECT_FALSE(DecodeIconImage(badDepth));
    for (std::size_t n = 0; n < dib.size(); ++n) DecodeIconImage(dib.substr(0, n));
    for (std::size_t n = 0; n < png.size(); ++n) DecodeIconImage(png.substr(0, n));
}

}  // namespace
}  // namespace box
