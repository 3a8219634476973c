#include "PeWriter.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>

#include "support/ByteOrder.h"
#include "support/Text.h"

namespace box::test {

namespace {

void Pad4(std::string& s) {
    s.append((4 - s.size() % 4) % 4, '\0');
}

std::size_t AlignUp(std::size_t v, std::size_t a) {
    return (v + a - 1) / a * a;
}

std::string Utf16(const std::string& utf8) {
    bool ok = false;
    std::string out = ConvertEncoding(utf8, "UTF-8", "UTF-16LE", &ok);
    if (!ok) throw std::runtime_error("bad UTF-8 in test data");
    return out;
}

// One node of a version block. Text values count 16-bit units.
std::string VersionNode(const std::string& key, const std::string& value, bool text,
                        const std::vector<std::string>& children) {
    std::string out(6, '\0');
    out += Utf16(key);
    out.append(2, '\0');
    Pad4(out);
    out += value;
    for (const std::string& child : children) {
        Pad4(out);
        out += child;
    }
    StoreLe16(out, 0, static_cast<std::uint32_t>(out.size()));
    StoreLe16(out, 2, static_cast<std::uint32_t>(text ? value.size() / 2 : value.size()));
    StoreLe16(out, 4, text ? 1 : 0);
    return out;
}

}  // namespace

std::string BuildVersionBlock(const PeVersion& v) {
    std::string fixed;
    AppendLe32(fixed, 0xFEEF04BD);
    AppendLe32(fixed, 0x00010000);
    std::uint32_t parts[4] = {};
    for (const auto& [name, value] : v.strings) {
        if (name == "FileVersion") {
            std::sscanf(value.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
        }
    }
    const std::uint32_t ms = parts[0] << 16 | (parts[1] & 0xFFFF);
    const std::uint32_t ls = parts[2] << 16 | (parts[3] & 0xFFFF);
    for (std::uint32_t x : {ms, ls, ms, ls, 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
        AppendLe32(fixed, x);

    std::string key = v.tableKey;
    if (key.empty()) {
        char buf[16];
        const auto [lang, cp] = v.translations.empty()
                                    ? std::pair<std::uint16_t, std::uint16_t>{0x0409, 0x04B0}
                                    : v.translations.front();
        std::snprintf(buf, sizeof buf, "%04X%04X", lang, cp);
        key = buf;
    }
    std::vector<std::string> strings;
    for (const auto& [name, value] : v.strings) {
        std::string text = Utf16(value);
        text.append(2, '\0');
        strings.push_back(VersionNode(name, text, true, {}));
    }
    std::vector<std::string> top{
        VersionNode("StringFileInfo", "", true, {VersionNode(key, "", true, strings)})};
    if (v.withVarFileInfo) {
        std::string list;
        for (const auto& [lang, cp] : v.translations)
            AppendLe32(list, lang | std::uint32_t{cp} << 16);
        top.push_back(
            VersionNode("VarFileInfo", "", true, {VersionNode("Translation", list, false, {})}));
    }
    return VersionNode("VS_VERSION_INFO", fixed, false, top);
}

namespace {

int BitsOf(IconFormat f) {
    switch (f) {
        case IconFormat::kDib4:
            return 4;
        case IconFormat::kDib8:
            return 8;
        case IconFormat::kDib24:
            return 24;
        default:
            return 32;
    }
}

struct Resource {
    std::uint16_t type;
    std::uint16_t id;
    std::string data;
};

// The resource section: directories (type, name, language) first, then the
// data entries, then the data, all offsets relative to the section start.
std::string ResourceSection(std::vector<Resource> resources, std::uint32_t sectionRva) {
    std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        return std::tie(a.type, a.id) < std::tie(b.type, b.id);
    });
    std::map<std::uint16_t, std::vector<const Resource*>> byType;
    for (const Resource& r : resources) byType[r.type].push_back(&r);

    const std::size_t rootSize = 16 + 8 * byType.size();
    std::size_t at = rootSize;
    std::map<std::uint16_t, std::size_t> typeDirAt;
    for (const auto& [type, list] : byType) {
        typeDirAt[type] = at;
        at += 16 + 8 * list.size();
    }
    std::map<const Resource*, std::size_t> nameDirAt, dataEntryAt, dataAt;
    for (const Resource& r : resources) {
        nameDirAt[&r] = at;
        at += 16 + 8;
    }
    for (const Resource& r : resources) {
        dataEntryAt[&r] = at;
        at += 16;
    }
    for (const Resource& r : resources) {
        at = AlignUp(at, 8);
        dataAt[&r] = at;
        at += r.data.size();
    }
    std::string out(at, '\0');
    auto directory = [&](std::size_t where, std::size_t count) {
        StoreLe16(out, where + 14, static_cast<std::uint32_t>(count));
    };
    directory(0, byType.size());
    std::size_t i = 0;
    for (const auto& [type, list] : byType) {
        StoreLe32(out, 16 + i * 8, type);
        StoreLe32(out, 16 + i * 8 + 4, 0x80000000u | static_cast<std::uint32_t>(typeDirAt[type]));
        directory(typeDirAt[type], list.size());
        for (std::size_t j = 0; j < list.size(); ++j) {
            const Resource* r = list[j];
            const std::size_t e = typeDirAt[type] + 16 + j * 8;
            StoreLe32(out, e, r->id);
            StoreLe32(out, e + 4, 0x80000000u | static_cast<std::uint32_t>(nameDirAt[r]));
            directory(nameDirAt[r], 1);
            StoreLe32(out, nameDirAt[r] + 16, 0x0804);
            StoreLe32(out, nameDirAt[r] + 20, static_cast<std::uint32_t>(dataEntryAt[r]));
            StoreLe32(out, dataEntryAt[r], sectionRva + static_cast<std::uint32_t>(dataAt[r]));
            StoreLe32(out, dataEntryAt[r] + 4, static_cast<std::uint32_t>(r->data.size()));
            out.replace(dataAt[r], r->data.size(), r->data);
        }
        ++i;
    }
    return out;
}

}  // namespace

std::string EncodeIconImage(const IconPicture& p, IconFormat format) {
    if (format == IconFormat::kPng) return EncodePng(p);
    const int bits = BitsOf(format);
    const std::size_t w = static_cast<std::size_t>(p.width), h = static_cast<std::size_t>(p.height);
    const std::size_t stride = (w * bits + 31) / 32 * 4;
    const std::size_t maskStride = (w + 31) / 32 * 4;
    auto transparent = [&](std::size_t x, std::size_t y) {
        return (p.argb[y * w + x] >> 24) < 128;
    };

    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        palette.push_back(0);
        for (std::uint32_t c : p.argb) {
            const std::uint32_t rgb = c & 0xFFFFFF;
            if ((c >> 24) >= 128 &&
                std::find(palette.begin(), palette.end(), rgb) == palette.end()) {
                palette.push_back(rgb);
            }
        }
        if (palette.size() > (1u << bits))
            throw std::runtime_error("too many colours for the format");
        palette.resize(1u << bits, 0);
    }
    std::string out(40, '\0');
    StoreLe32(out, 0, 40);
    StoreLe32(out, 4, static_cast<std::uint32_t>(w));
    StoreLe32(out, 8, static_cast<std::uint32_t>(h * 2));
    StoreLe16(out, 12, 1);
    StoreLe16(out, 14, static_cast<std::uint32_t>(bits));
    StoreLe32(out, 20, static_cast<std::uint32_t>((stride + maskStride) * h));
    for (std::uint32_t c : palette) AppendLe32(out, c);
    const std::size_t pixelsAt = out.size();
    out.append(stride * h + maskStride * h, '\0');
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t row = pixelsAt + (h - 1 - y) * stride;
        const std::size_t maskRow = pixelsAt + stride * h + (h - 1 - y) * maskStride;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t c = p.argb[y * w + x];
            const bool clear = transparent(x, y);
            if (clear)
                out[maskRow + x / 8] = static_cast<char>(out[maskRow + x / 8] | (0x80 >> (x % 8)));
            switch (format) {
                case IconFormat::kDib32:
                    StoreLe32(out, row + x * 4, c);
                    break;
                case IconFormat::kDib32MaskOnly:
                    StoreLe32(out, row + x * 4, clear ? 0 : c & 0xFFFFFF);
                    break;
                case IconFormat::kDib24:
                    if (!clear) {
                        out[row + x * 3] = static_cast<char>(c & 0xFF);
                        out[row + x * 3 + 1] = static_cast<char>((c >> 8) & 0xFF);
                        out[row + x * 3 + 2] = static_cast<char>((c >> 16) & 0xFF);
                    }
                    break;
                default: {
                    const auto index =
                        clear ? 0u
                              : static_cast<unsigned>(
                                    std::find(palette.begin(), palette.end(), c & 0xFFFFFF) -
                                    palette.begin());
                    const std::size_t bitPos = x * bits;
                    const unsigned shift = 8 - bits - bitPos % 8;
                    out[row + bitPos / 8] =
                        static_cast<char>(out[row + bitPos / 8] | index << shift);
                    break;
                }
            }
        }
    }
    return out;
}

IconPicture SolidPicture(int width, int height, std::uint32_t argb) {
    IconPicture p;
    p.width = width;
    p.height = height;
    p.argb.assign(static_cast<std::size_t>(width) * height, argb);
    return p;
}

IconPicture HalfTransparent() {
    IconPicture p = SolidPicture(4, 4, 0);
    for (int y = 0; y < 4; ++y) {
        p.argb[static_cast<std::size_t>(y * 4)] = 0xFFFF0000;
        p.argb[static_cast<std::size_t>(y * 4 + 1)] = 0xFFFF0000;
    }
    p.argb[3] = 0x7F0000FF;
    return p;
}

PeLayout ProgramLayout(const std::string& fileVersion, bool pe64) {
    PeLayout layout;
    layout.pe64 = pe64;
    layout.version = PeVersion{};
    layout.version->strings = {{"CompanyName", "汀芷软件"},
                               {"FileDescription", "测试程序"},
                               {"FileVersion", fileVersion},
                               {"ProductVersion", fileVersion}};
    return layout;
}

std::string BuildPe(const PeLayout& layout) {
    constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000;
    constexpr std::uint32_t kTextRva = 0x1000, kRsrcRva = 0x2000;
    constexpr std::uint32_t kHeadersSize = 0x400, kTextRaw = 0x400, kTextSize = 0x200;

    std::vector<Resource> resources;
    if (layout.version) resources.push_back({16, 1, BuildVersionBlock(*layout.version)});
    if (!layout.icons.empty()) {
        std::string group;
        AppendLe16(group, 0);
        AppendLe16(group, 1);
        AppendLe16(group, static_cast<std::uint32_t>(layout.icons.size()));
        for (std::size_t i = 0; i < layout.icons.size(); ++i) {
            const PeIcon& icon = layout.icons[i];
            std::string image = EncodeIconImage(icon.picture, icon.format);
            const auto id = static_cast<std::uint16_t>(i + 1);
            group += static_cast<char>(icon.picture.width >= 256 ? 0 : icon.picture.width);
            group += static_cast<char>(icon.picture.height >= 256 ? 0 : icon.picture.height);
            group += static_cast<char>(icon.format == IconFormat::kDib4 ? 16 : 0);
            group += '\0';
            AppendLe16(group, 1);
            AppendLe16(group, static_cast<std::uint32_t>(BitsOf(icon.format)));
            AppendLe32(group, static_cast<std::uint32_t>(image.size()));
            AppendLe16(group, id);
            resources.push_back({3, id, std::move(image)});
        }
        resources.push_back({14, 1, group});
    }
    const std::string rsrc =
        resources.empty() ? std::string() : ResourceSection(resources, kRsrcRva);
    const std::uint32_t rsrcRaw = kTextRaw + kTextSize;
    const auto rsrcRawSize =
        static_cast<std::uint32_t>(AlignUp(std::max<std::size_t>(rsrc.size(), 1), kFileAlign));

    std::string file(rsrcRaw + rsrcRawSize, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    StoreLe32(file, 0x3C, 0x40);
    file.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x44;
    const std::uint16_t optionalSize = layout.pe64 ? 240 : 224;
    StoreLe16(file, coff, layout.pe64 ? 0x8664 : 0x14C);
    StoreLe16(file, coff + 2, 2);
    StoreLe16(file, coff + 16, optionalSize);
    StoreLe16(file, coff + 18, layout.pe64 ? 0x0022 : 0x0102);

    const std::size_t opt = coff + 20;
    StoreLe16(file, opt, layout.pe64 ? 0x20B : 0x10B);
    file[opt + 2] = 14;
    StoreLe32(file, opt + 4, kTextSize);
    StoreLe32(file, opt + 8, rsrcRawSize);
    StoreLe32(file, opt + 16, kTextRva);
    StoreLe32(file, opt + 20, kTextRva);
    if (layout.pe64) {
        StoreLe64(file, opt + 24, 0x140000000ull);
    } else {
        StoreLe32(file, opt + 24, kRsrcRva);
        StoreLe32(file, opt + 28, 0x400000);
    }
    StoreLe32(file, opt + 32, kSectionAlign);
    StoreLe32(file, opt + 36, kFileAlign);
    StoreLe16(file, opt + 40, 6);
    StoreLe16(file, opt + 48, 6);
    StoreLe32(file, opt + 56,
              static_cast<std::uint32_t>(
                  kRsrcRva + AlignUp(std::max<std::size_t>(rsrc.size(), 1), kSectionAlign)));
    StoreLe32(file, opt + 60, kHeadersSize);
    StoreLe16(file, opt + 68, 2);  // GUI
    StoreLe16(file, opt + 70, 0x8140);
    std::size_t dirs;
    if (layout.pe64) {
        StoreLe64(file, opt + 72, 0x100000);
        StoreLe64(file, opt + 80, 0x1000);
        StoreLe64(file, opt + 88, 0x100000);
        StoreLe64(file, opt + 96, 0x1000);
        StoreLe32(file, opt + 108, 16);
        dirs = opt + 112;
    } else {
        StoreLe32(file, opt + 72, 0x100000);
        StoreLe32(file, opt + 76, 0x1000);
        StoreLe32(file, opt + 80, 0x100000);
        StoreLe32(file, opt + 84, 0x1000);
        StoreLe32(file, opt + 92, 16);
        dirs = opt + 96;
    }
    if (!rsrc.empty()) {
        StoreLe32(file, dirs + 16, kRsrcRva);
        StoreLe32(file, dirs + 20, static_cast<std::uint32_t>(rsrc.size()));
    }
    const std::size_t sections = opt + optionalSize;
    file.replace(sections, 5, ".text");
    StoreLe32(file, sections + 8, 0x10);
    StoreLe32(file, sections + 12, kTextRva);
    StoreLe32(file, sections + 16, kTextSize);
    StoreLe32(file, sections + 20, kTextRaw);
    StoreLe32(file, sections + 36, 0x60000020);
    file.replace(sections + 40, 5, ".rsrc");
    StoreLe32(file, sections + 48, static_cast<std::uint32_t>(rsrc.size()));
    StoreLe32(file, sections + 52, kRsrcRva);
    StoreLe32(file, sections + 56, rsrcRawSize);
    StoreLe32(file, sections + 60, rsrcRaw);
    StoreLe32(file, sections + 76, 0x40000040);

    file[kTextRaw] = static_cast<char>(0xC3);  // ret
    file.replace(rsrcRaw, rsrc.size(), rsrc);
    return file;
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WritePe(const std::filesystem::path& path, const PeLayout& layout) {
    return WriteFile(path, BuildPe(layout));
}

bool InstallProgram(const std::filesystem::path& boxFolder, const std::string& name,
                    const PeLayout& layout) {
    std::error_code ec;
    std::filesystem::create_directories(boxFolder / name, ec);
    return !ec && WritePe(boxFolder / name / (name + ".exe"), layout);
}

}  // namespace box::test
