#pragma once
// Off-screen pictures: an icon drawn onto a canvas, captured as a
// device-independent bitmap and handed out as the bytes of a BMP file.
//
// There are no device contexts here: a Canvas plays the part of the drawing
// surface (32-bit, top-down), and BitmapObject keeps the captured picture as a
// packed DIB (header, colour table, bottom-up rows) in the layout a BMP file
// carries after its file header.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

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

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A 32-bit drawing surface, top-down, 0x00RRGGBB per pixel.
class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t pixel(int x, int y) const;

    // Parts of the rectangle outside the canvas are left out.
    void fillRect(const PixelRect& rect, std::uint32_t rgb);
    // Scales the icon to the rectangle and blends it over what is there.
    void drawIcon(const IconPicture& icon, const PixelRect& rect);

private:
    void blendSameSize(const IconPicture& icon, const PixelRect& rect);

    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

class BitmapObject {
public:
    BitmapObject();
    ~BitmapObject();
    BitmapObject(const BitmapObject&) = delete;
    BitmapObject& operator=(const BitmapObject&) = delete;

    // Drops the picture and the colour tables.
    void destroy();
    // Drops the picture.
    void clear();
    // Draws the icon at width x height over white and captures it.
    bool fromIcon(const IconPicture& icon, int width = 32, int height = 32, int depth = 32);
    // Captures a rectangle of the canvas at a depth of 1, 4, 8, 16, 24 or 32
    // bits. Any other depth, or an empty rectangle, gives false and leaves the
    // picture as it was.
    bool fromDC(const Canvas& source, const PixelRect& rect, int depth);
    // A BMP file: the 14-byte file header followed by the DIB.
    std::string toBmpFile() const;

    bool hasPicture() const { return !dib_.empty(); }
    // The packed DIB: 40-byte header, colour table, bottom-up rows.
    const std::string& dib() const { return dib_; }

private:
    std::string palette1_;
    std::string palette4_;
    std::string palette8_;
    std::string dib_;
    std::size_t colourTableBytes_ = 0;
};

}  // namespace box
