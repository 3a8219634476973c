#include "support/BitmapObject.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "support/ByteOrder.h"

namespace box {

namespace {

// Icons larger than this are not icons; refusing them keeps a hostile file
// from making us allocate gigabytes.
constexpr int kMaxIconSide = 1024;
// Largest picture a canvas or a capture may have.
constexpr int kMaxPictureSide = 8192;

std::size_t RowStride(std::size_t width, std::size_t bits) {
    return (width * bits + 31) / 32 * 4;
}

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsPng(std::string_view data) {
    return data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0;
}

std::optional<IconPicture> DecodePng(std::string_view data) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return std::nullopt;
    if (image.width == 0 || image.height == 0 || image.width > kMaxIconSide ||
        image.height > kMaxIconSide) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_BGRA;
    IconPicture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    std::vector<unsigned char> bgra(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    picture.argb.resize(static_cast<std::size_t>(picture.width) * picture.height);
    for (std::size_t i = 0; i < picture.argb.size(); ++i) {
        const unsigned char* p = &bgra[i * 4];
        picture.argb[i] = static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
    }
    return picture;
}

std::optional<IconPicture> DecodeDib(std::string_view data) {
    if (data.size() < 40) return std::nullopt;
    const std::uint32_t headerSize = Le32At(data, 0);
    if (headerSize < 40 || headerSize > data.size()) return std::nullopt;
    const auto width = static_cast<std::int32_t>(Le32At(data, 4));
    const auto doubledHeight = static_cast<std::int32_t>(Le32At(data, 8));
    const std::uint16_t bits = Le16At(data, 14);
    const std::uint32_t compression = Le32At(data, 16);
    const std::uint32_t coloursUsed = Le32At(data, 32);
    // The height counts the colour rows and the mask rows together.
    const std::int32_t height = doubledHeight / 2;
    if (width <= 0 || width > kMaxIconSide || height <= 0 || height > kMaxIconSide) {
        return std::nullopt;
    }
    if (compression != 0) return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return std::nullopt;
    }
    std::size_t paletteCount = 0;
    if (bits <= 8) {
        paletteCount = coloursUsed != 0 ? coloursUsed : (1u << bits);
        if (paletteCount > 256) return std::nullopt;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    const std::size_t paletteAt = headerSize;
    const std::size_t colourAt = paletteAt + paletteCount * 4;
    const std::size_t colourStride = RowStride(w, bits);
    const std::size_t maskAt = colourAt + colourStride * h;
    const std::size_t maskStride = RowStride(w, 1);
    if (maskAt > data.size()) return std::nullopt;
    // Some writers leave the mask out of 32-bit images; then alpha alone counts.
    const bool hasMask = maskAt + maskStride * h <= data.size();

    IconPicture picture;
    picture.width = width;
    picture.height = height;
    picture.argb.assign(w * h, 0);
    bool anyAlpha = false;
    for (std::size_t y = 0; y < h; ++y) {
        // Rows are stored bottom-up.
        const std::size_t row = colourAt + (h - 1 - y) * colourStride;
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t argb = 0;
            if (bits <= 8) {
                const std::size_t bitPos = x * bits;
                const auto byte = static_cast<unsigned char>(data[row + bitPos / 8]);
                const unsigned shift = 8 - bits - static_cast<unsigned>(bitPos % 8);
                const unsigned index = (byte >> shift) & ((1u << bits) - 1);
                if (index < paletteCount) argb = Le32At(data, paletteAt + index * 4) & 0xFFFFFF;
                argb |= 0xFF000000u;
            } else if (bits == 16) {
                const std::uint16_t v = Le16At(data, row + x * 2);
                const unsigned r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
                argb = 0xFF000000u | (r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (b * 255 / 31);
            } else if (bits == 24) {
                const std::size_t at = row + x * 3;
                argb = 0xFF000000u | static_cast<unsigned char>(data[at + 2]) << 16 |
                       static_cast<unsigned char>(data[at + 1]) << 8 |
                       static_cast<unsigned char>(data[at]);
            } else {
                argb = Le32At(data, row + x * 4);
                if (argb >> 24) anyAlpha = true;
            }
            picture.argb[y * w + x] = argb;
        }
    }
    // A 32-bit image without any alpha is an old-style image: its mask decides.
    const bool useMask = bits < 32 || !anyAlpha;
    if (bits == 32 && !anyAlpha) {
        for (auto& p : picture.argb) p |= 0xFF000000u;
    }
    if (useMask && hasMask) {
        for (std::size_t y = 0; y < h; ++y) {
            const std::size_t row = maskAt + (h - 1 - y) * maskStride;
            for (std::size_t x = 0; x < w; ++x) {
                const auto byte = static_cast<unsigned char>(data[row + x / 8]);
                // A set mask bit keeps the background. (A set bit under a
                // non-black colour would invert the background; icons do not
                // use that, and it is drawn as transparent too.)
                if (byte & (0x80 >> (x % 8))) picture.argb[y * w + x] = 0;
            }
        }
    }
    return picture;
}

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

std::optional<IconPicture> DecodeIconImage(std::string_view data) {
    if (IsPng(data)) return DecodePng(data);
    return DecodeDib(data);
}

std::string EncodePng(const IconPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.width > kMaxPictureSide ||
        picture.height > kMaxPictureSide ||
        picture.argb.size() != static_cast<std::size_t>(picture.width) * picture.height) {
        return {};
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_BGRA;
    std::vector<unsigned char> bgra(picture.argb.size() * 4);
    for (std::size_t i = 0; i < picture.argb.size(); ++i) {
        const std::uint32_t p = picture.argb[i];
        bgra[i * 4] = static_cast<unsigned char>(p & 0xFF);
        bgra[i * 4 + 1] = static_cast<unsigned char>((p >> 8) & 0xFF);
        bgra[i * 4 + 2] = static_cast<unsigned char>((p >> 16) & 0xFF);
        bgra[i * 4 + 3] = static_cast<unsigned char>(p >> 24);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, bgra.data(), 0, nullptr)) return {};
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, bgra.data(), 0, nullptr)) {
        return {};
    }
    out.resize(size);
    return out;
}

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
    const std::size_t stride = RowStride(w, static_cast<std::size_t>(depth));
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
