#include "support/IconImage.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "support/ByteOrder.h"

namespace box {

namespace {

// Icons larger than this are not icons; refusing them keeps a hostile file
// from making us allocate gigabytes.
constexpr int kMaxIconSide = 1024;

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
    const std::size_t colourStride = DibRowStride(w, bits);
    const std::size_t maskAt = colourAt + colourStride * h;
    const std::size_t maskStride = DibRowStride(w, 1);
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

}  // namespace box
