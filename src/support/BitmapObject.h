#pragma once
// Off-screen pictures: an icon drawn onto a canvas, captured as a
// device-independent bitmap and handed out as the bytes of a BMP file.
//
// There are no device contexts here: a Canvas plays the part of the drawing
// surface (32-bit, top-down), and BitmapObject keeps the captured picture as a
// packed DIB (header, colour table, bottom-up rows) in the layout a BMP file
// carries after its file header.

#include <cstddef>
#include <string>

#include "support/Canvas.h"
#include "support/IconImage.h"
#include "support/Text.h"

namespace box {

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
