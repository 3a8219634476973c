#pragma once
// The drawing surface that stands in for a device context: icons are drawn
// onto it and captured from it.

#include <cstdint>
#include <vector>

#include "support/IconImage.h"

namespace box {

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

}  // namespace box
