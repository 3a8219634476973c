// Icon images (classic DIBs with their masks, and PNG streams) decoded, drawn
// into a bitmap at one of its depths and written as a BMP file.

#include <algorithm>
#include <cstdint>

#include "FuzzTarget.h"
#include "PeWriter.h"
#include "support/BitmapObject.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    using test::IconFormat;
    std::vector<std::string> seeds;
    IconPicture mixed = test::SolidPicture(16, 16, 0xFFFF0000);
    for (std::size_t i = 0; i < mixed.argb.size(); i += 3) mixed.argb[i] = 0x00000000;
    for (std::size_t i = 1; i < mixed.argb.size(); i += 5) mixed.argb[i] = 0x8000FF00;
    for (IconFormat format : {IconFormat::kDib32, IconFormat::kDib32MaskOnly, IconFormat::kDib24,
                              IconFormat::kDib8, IconFormat::kDib4, IconFormat::kPng}) {
        seeds.push_back(test::EncodeIconImage(mixed, format));
        seeds.push_back(test::EncodeIconImage(test::SolidPicture(3, 5, 0xFF123456), format));
    }
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<IconPicture> picture = DecodeIconImage(bytes);
    if (!picture) return 0;
    fuzz::Check(
        picture->width > 0 && picture->height > 0 &&
            picture->argb.size() == static_cast<std::size_t>(picture->width) * picture->height,
        "a decoded picture holds width x height pixels");

    static constexpr int kDepths[] = {32, 24, 16, 8, 4, 1};
    const int depth = kDepths[size % 6];
    // The box draws at 32 x 32; other sizes scale. Palette depths search the
    // nearest of 256 colours per pixel: a smaller side keeps the run fast.
    int side = size % 7 == 0 ? std::min(picture->width, 64) : 32;
    if (depth <= 8) side = std::min(side, 16);
    BitmapObject bitmap;
    fuzz::Check(bitmap.fromIcon(*picture, side, side, depth), "a decoded picture draws");
    const std::string bmp = bitmap.toBmpFile();
    fuzz::Check(bmp.size() > 54 && bmp[0] == 'B' && bmp[1] == 'M', "the bitmap is a BMP file");
    if (picture->width <= 64 && picture->height <= 64) {
        const std::optional<IconPicture> again = DecodeIconImage(EncodePng(*picture));
        // Fully transparent pixels may lose their colour; every other one is kept.
        auto visible = [](std::vector<std::uint32_t> argb) {
            for (std::uint32_t& p : argb)
                if (p >> 24 == 0) p = 0;
            return argb;
        };
        fuzz::Check(again && visible(again->argb) == visible(picture->argb),
                    "PNG keeps every visible pixel");
    }
    return 0;
}
