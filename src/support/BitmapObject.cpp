#include "support/BitmapObject.h"

#include <algorithm>

#include "support/ByteOrder.h"

namespace box {

namespace {

// Palettes of the depths below 16 bits, as 4-byte blue-green-red-zero entries.
std::string MakePalette(const std::vector<std::uint32_t>& rgbs) {
    std::string out(rgbs.size() * 4, '\0');
    for (std::size_t i = 0; i < rgbs.size(); ++i) StoreLe32(out, i * 4, rgbs[i] & 0xFFFFFF);
    return out;
}

std::string DefaultPalette1() {
    return MakePalette({0x000000, 0xFFFFFF});
}

std::string DefaultPalette4() {
    return MakePalette({0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080,
                        0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF,
                        0x00FFFF, 0xFFFFFF});
}

// A 6 x 6 x 6 colour cube followed by 40 greys.
std::string DefaultPalette8() {
    std::vector<std::uint32_t> rgbs;
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                rgbs.push_back(static_cast<std::uint32_t>(r * 51 << 16 | g * 51 << 8 | b * 51));
            }
        }
    }
    for (int i = 0; i < 40; ++i) {
        const auto v = static_cast<std::uint32_t>(i * 255 / 39);
        rgbs.push_back(v << 16 | v << 8 | v);
    }
    return MakePalette(rgbs);
}

struct DefaultPalettes {
    std::string one = DefaultPalette1();
    std::string four = DefaultPalette4();
    std::string eight = DefaultPalette8();
};

const DefaultPalettes& Palettes() {
    static const DefaultPalettes palettes;
    return palettes;
}

unsigned NearestIndex(const std::string& palette, std::uint32_t rgb) {
    const int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF),
              b = static_cast<int>(rgb & 0xFF);
    unsigned best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i * 4 < palette.size(); ++i) {
        const std::uint32_t entry = Le32At(palette, i * 4);
        const int dr = static_cast<int>((entry >> 16) & 0xFF) - r;
        const int dg = static_cast<int>((entry >> 8) & 0xFF) - g;
        const int db = static_cast<int>(entry & 0xFF) - b;
        const long d =
            static_cast<long>(dr) * dr + static_cast<long>(dg) * dg + static_cast<long>(db) * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<unsigned>(i);
        }
    }
    return best;
}

}  // namespace

BitmapObject::BitmapObject()
    : palette1_(Palettes().one), palette4_(Palettes().four), palette8_(Palettes().eight) {}

BitmapObject::~BitmapObject() {
    destroy();
}

void BitmapObject::destroy() {
    clear();
    palette1_.clear();
    palette4_.clear();
    palette8_.clear();
}

void BitmapObject::clear() {
    dib_.clear();
    colourTableBytes_ = 0;
}

bool BitmapObject::fromIcon(const IconPicture& icon, int width, int height, int depth) {
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
        return false;
    }
    Canvas canvas(width, height);
    canvas.fillRect({0, 0, width, height}, 0xFFFFFF);
    canvas.drawIcon(icon, {0, 0, width, height});
    // Only a capture made here counts; an earlier picture left in place by a
    // refused depth does not.
    return fromDC(canvas, {0, 0, width, height}, depth) && hasPicture();
}

bool BitmapObject::fromDC(const Canvas& source, const PixelRect& rect, int depth) {
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        return false;
    }
    if (rect.width <= 0 || rect.height <= 0 || rect.width > kMaxPictureSide ||
        rect.height > kMaxPictureSide) {
        return false;
    }
    const std::string* palette = depth == 1   ? &palette1_
                                 : depth == 4 ? &palette4_
                                 : depth == 8 ? &palette8_
                                              : nullptr;
    if (palette && palette->empty()) return false;  // destroyed
    clear();
    const auto w = static_cast<std::size_t>(rect.width);
    const auto h = static_cast<std::size_t>(rect.height);
    const std::size_t stride = DibRowStride(w, static_cast<std::size_t>(depth));
    colourTableBytes_ = palette ? palette->size() : 0;
    dib_.assign(40 + colourTableBytes_ + stride * h, '\0');
    StoreLe32(dib_, 0, 40);
    StoreLe32(dib_, 4, static_cast<std::uint32_t>(rect.width));
    StoreLe32(dib_, 8, static_cast<std::uint32_t>(rect.height));
    StoreLe16(dib_, 12, 1);
    StoreLe16(dib_, 14, static_cast<std::uint16_t>(depth));
    if (palette) dib_.replace(40, palette->size(), *palette);

    const std::size_t pixelsAt = 40 + colourTableBytes_;
    for (std::size_t y = 0; y < h; ++y) {
        char* row = dib_.data() + pixelsAt + (h - 1 - y) * stride;
        for (std::size_t x = 0; x < w; ++x) {
            // Outside the canvas the copy keeps the zeroed (black) pixels.
            const std::uint32_t rgb =
                source.pixel(rect.left + static_cast<int>(x), rect.top + static_cast<int>(y));
            const auto r = static_cast<unsigned char>((rgb >> 16) & 0xFF);
            const auto g = static_cast<unsigned char>((rgb >> 8) & 0xFF);
            const auto b = static_cast<unsigned char>(rgb & 0xFF);
            switch (depth) {
                case 32:
                    row[x * 4] = static_cast<char>(b);
                    row[x * 4 + 1] = static_cast<char>(g);
                    row[x * 4 + 2] = static_cast<char>(r);
                    break;
                case 24:
                    row[x * 3] = static_cast<char>(b);
                    row[x * 3 + 1] = static_cast<char>(g);
                    row[x * 3 + 2] = static_cast<char>(r);
                    break;
                case 16: {
                    const auto v =
                        static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
                    row[x * 2] = static_cast<char>(v & 0xFF);
                    row[x * 2 + 1] = static_cast<char>(v >> 8);
                    break;
                }
                default: {
                    const unsigned index = NearestIndex(*palette, rgb);
                    const std::size_t bitPos = x * static_cast<std::size_t>(depth);
                    const unsigned shift =
                        8 - static_cast<unsigned>(depth) - static_cast<unsigned>(bitPos % 8);
                    row[bitPos / 8] = static_cast<char>(
                        static_cast<unsigned char>(row[bitPos / 8]) | index << shift);
                    break;
                }
            }
        }
    }
    return true;
}

std::string BitmapObject::toBmpFile() const {
    std::string out(14, '\0');
    out[0] = 'B';
    out[1] = 'M';
    StoreLe32(out, 2, static_cast<std::uint32_t>(14 + dib_.size()));
    StoreLe32(out, 10, static_cast<std::uint32_t>(54 + colourTableBytes_));
    out += dib_;
    return out;
}

}  // namespace box
