#pragma once
// Icon images: decoding the images of an icon resource and encoding pictures
// as PNG.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace box {

// Largest picture a canvas or a capture may have.
constexpr int kMaxPictureSide = 8192;

// Bytes of one row of a device-independent bitmap: rows are padded to four
// bytes.
inline std::size_t DibRowStride(std::size_t width, std::size_t bits) {
    return (width * bits + 31) / 32 * 4;
}

// A decoded icon image: width x height pixels, top-down, 0xAARRGGBB with
// straight (not premultiplied) alpha.
struct IconPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
};

// Decodes one image of an icon resource: a PNG stream, or a classic DIB
// (BITMAPINFOHEADER, colour table, colour rows, AND mask). Masked pixels and
// zero-alpha pixels come out transparent. Anything malformed gives nullopt.
std::optional<IconPicture> DecodeIconImage(std::string_view data);

// Encodes a picture as PNG (8-bit RGBA); empty on failure.
std::string EncodePng(const IconPicture& picture);

}  // namespace box
