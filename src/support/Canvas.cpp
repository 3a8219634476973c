#include "support/Canvas.h"

#include <algorithm>

namespace box {

Canvas::Canvas(int width, int height)
    : width_(std::clamp(width, 0, kMaxPictureSide)),
      height_(std::clamp(height, 0, kMaxPictureSide)),
      pixels_(static_cast<std::size_t>(width_) * height_, 0) {}

std::uint32_t Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void Canvas::fillRect(const PixelRect& rect, std::uint32_t rgb) {
    const int x0 = std::max(rect.left, 0), y0 = std::max(rect.top, 0);
    const int x1 = static_cast<int>(
        std::min<long long>(static_cast<long long>(rect.left) + std::max(rect.width, 0), width_));
    const int y1 = static_cast<int>(
        std::min<long long>(static_cast<long long>(rect.top) + std::max(rect.height, 0), height_));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            pixels_[static_cast<std::size_t>(y) * width_ + x] = rgb & 0xFFFFFF;
    }
}

void Canvas::drawIcon(const IconPicture& icon, const PixelRect& rect) {
    const int sw = icon.width, sh = icon.height;
    if (sw <= 0 || sh <= 0 || icon.argb.size() != static_cast<std::size_t>(sw) * sh) return;
    if (rect.width <= 0 || rect.height <= 0) return;
    if (rect.width == sw && rect.height == sh) {
        blendSameSize(icon, rect);
        return;
    }
    // Every target pixel takes the area-weighted mean of the source pixels it
    // covers (premultiplied, so transparent pixels lend no colour), then is
    // blended over the canvas. At equal sizes this copies pixels exactly.
    const double sx = static_cast<double>(sw) / rect.width;
    const double sy = static_cast<double>(sh) / rect.height;
    for (int ty = 0; ty < rect.height; ++ty) {
        const long long cy = static_cast<long long>(rect.top) + ty;
        if (cy < 0 || cy >= height_) continue;
        const double fy0 = ty * sy, fy1 = (ty + 1) * sy;
        for (int tx = 0; tx < rect.width; ++tx) {
            const long long cx = static_cast<long long>(rect.left) + tx;
            if (cx < 0 || cx >= width_) continue;
            const double fx0 = tx * sx, fx1 = (tx + 1) * sx;
            double a = 0, r = 0, g = 0, b = 0, area = 0;
            for (int y = static_cast<int>(fy0); y < sh && y < fy1; ++y) {
                const double wy = std::min<double>(y + 1, fy1) - std::max<double>(y, fy0);
                if (wy <= 0) continue;
                for (int x = static_cast<int>(fx0); x < sw && x < fx1; ++x) {
                    const double wx = std::min<double>(x + 1, fx1) - std::max<double>(x, fx0);
                    if (wx <= 0) continue;
                    const double weight = wx * wy;
                    const std::uint32_t p = icon.argb[static_cast<std::size_t>(y) * sw + x];
                    const double pa = (p >> 24) / 255.0;
                    a += weight * pa;
                    r += weight * pa * ((p >> 16) & 0xFF);
                    g += weight * pa * ((p >> 8) & 0xFF);
                    b += weight * pa * (p & 0xFF);
                    area += weight;
                }
            }
            if (area <= 0) continue;
            a /= area;
            r /= area;
            g /= area;
            b /= area;
            std::uint32_t& dst = pixels_[static_cast<std::size_t>(cy) * width_ + cx];
            auto blend = [a](double premultiplied, std::uint32_t under) {
                const double v = premultiplied + (1 - a) * under + 0.5;
                return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0));
            };
            dst = blend(r, (dst >> 16) & 0xFF) << 16 | blend(g, (dst >> 8) & 0xFF) << 8 |
                  blend(b, dst & 0xFF);
        }
    }
}

void Canvas::blendSameSize(const IconPicture& icon, const PixelRect& rect) {
    for (int y = 0; y < icon.height; ++y) {
        const long long cy = static_cast<long long>(rect.top) + y;
        if (cy < 0 || cy >= height_) continue;
        for (int x = 0; x < icon.width; ++x) {
            const long long cx = static_cast<long long>(rect.left) + x;
            if (cx < 0 || cx >= width_) continue;
            const std::uint32_t p = icon.argb[static_cast<std::size_t>(y) * icon.width + x];
            const std::uint32_t a = p >> 24;
            std::uint32_t& dst = pixels_[static_cast<std::size_t>(cy) * width_ + cx];
            std::uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const std::uint32_t c = (p >> shift) & 0xFF, under = (dst >> shift) & 0xFF;
                // Rounded c * a / 255 + under * (255 - a) / 255; no exact
                // halves exist, so this equals the scaled path's rounding.
                out |= ((c * a + under * (255 - a) + 127) / 255) << shift;
            }
            dst = out;
        }
    }
}

}  // namespace box
