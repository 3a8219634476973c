#include "platform/PeResources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "support/BoxFolder.h"
#include "support/ByteOrder.h"

namespace box {

namespace {

// The loader refuses more sections than this; so do we.
constexpr std::uint32_t kMaxSections = 96;
// A resource larger than this is not one the box could want (icons and
// version blocks are kilobytes).
constexpr std::uint32_t kMaxResourceSize = 16u << 20;
// Real icon groups hold a dozen images at most; a group claiming thousands
// is damaged, and looking at every entry would only cost time.
constexpr std::size_t kMaxIconImages = 64;

// The UTF-16LE units of [begin, end) up to the first zero unit.
std::string_view Utf16UpToZero(std::string_view d, std::size_t begin, std::size_t end) {
    end = std::min(end, d.size());
    std::size_t i = begin;
    while (i + 1 < end && Le16At(d, i) != 0) i += 2;
    return begin < i ? d.substr(begin, i - begin) : std::string_view();
}

char AsciiLowerChar(std::uint32_t c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
}

std::size_t Align4(std::size_t v) {
    return (v + 3) & ~static_cast<std::size_t>(3);
}

// One node of a version block: key, value and the range of its children.
struct VersionNode {
    std::size_t end = 0;
    std::uint16_t type = 0;
    std::size_t keyBegin = 0;  // UTF-16LE, without its zero
    std::size_t keyEnd = 0;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    std::size_t childrenBegin = 0;
};

std::optional<VersionNode> ReadVersionNode(std::string_view block, std::size_t at,
                                           std::size_t limit) {
    if (at + 6 > limit) return std::nullopt;
    const std::uint16_t length = Le16At(block, at);
    const std::uint16_t valueLength = Le16At(block, at + 2);
    if (length < 6 || at + length > limit) return std::nullopt;
    VersionNode node;
    node.end = at + length;
    node.type = Le16At(block, at + 4);
    std::size_t keyEnd = at + 6;
    while (keyEnd + 1 < node.end && Le16At(block, keyEnd) != 0) keyEnd += 2;
    if (keyEnd + 1 >= node.end) return std::nullopt;  // key without its zero
    node.keyBegin = at + 6;
    node.keyEnd = keyEnd;
    node.valueBegin = std::min(Align4(keyEnd + 2), node.end);
    // Text values count 16-bit units, binary values bytes.
    const std::size_t valueBytes = node.type == 1 ? std::size_t{valueLength} * 2 : valueLength;
    node.valueEnd = std::min(node.valueBegin + valueBytes, node.end);
    node.childrenBegin = std::min(Align4(node.valueEnd), node.end);
    return node;
}

// Whether a node's key equals wanted (UTF-8, ASCII already lower case),
// ignoring ASCII case. Keys are nearly always ASCII; only others are decoded.
bool KeyEquals(std::string_view block, const VersionNode& node, const std::string& wanted) {
    const std::size_t units = (node.keyEnd - node.keyBegin) / 2;
    if (units == wanted.size()) {
        bool ascii = true;
        std::size_t i = 0;
        for (; i < units; ++i) {
            const std::uint32_t u = Le16At(block, node.keyBegin + i * 2);
            if (u >= 0x80) {
                ascii = false;
                break;
            }
            if (AsciiLowerChar(u) != wanted[i]) return false;
        }
        if (ascii) return true;
    }
    return AsciiLower(Utf16LeToUtf8(Utf16UpToZero(block, node.keyBegin, node.keyEnd))) == wanted;
}

}  // namespace

struct PeFile::Source {
    int fd = -1;
    std::string bytes;
    std::uint64_t size = 0;
    ~Source() {
        if (fd >= 0) ::close(fd);
    }
};

PeFile::PeFile(PeFile&&) noexcept = default;
PeFile& PeFile::operator=(PeFile&&) noexcept = default;
PeFile::~PeFile() = default;

std::optional<PeFile> PeFile::Open(const Text& gbkPath) {
    return Open(FsPath(gbkPath));
}

std::optional<PeFile> PeFile::Open(const std::filesystem::path& path) {
    PeFile file;
    file.source_ = std::make_unique<Source>();
    // O_NONBLOCK: a FIFO under the program's name must not hang the open; it
    // is no regular file and is refused below.
    file.source_->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (file.source_->fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(file.source_->fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    file.source_->size = static_cast<std::uint64_t>(st.st_size);
    if (!file.parseHeaders()) return std::nullopt;
    return file;
}

std::optional<PeFile> PeFile::FromBytes(std::string bytes) {
    PeFile file;
    file.source_ = std::make_unique<Source>();
    file.source_->size = bytes.size();
    file.source_->bytes = std::move(bytes);
    if (!file.parseHeaders()) return std::nullopt;
    return file;
}

bool PeFile::readAt(std::uint64_t offset, std::size_t size, std::string& out) const {
    if (offset > source_->size || size > source_->size - offset) return false;
    if (source_->fd < 0) {
        out.assign(source_->bytes, static_cast<std::size_t>(offset), size);
        return true;
    }
    out.resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(source_->fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0) return false;  // the file shrank under us, or an I/O error
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool PeFile::readRva(std::uint32_t rva, std::size_t size, std::string& out) const {
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress) continue;
        const std::uint64_t inSection = rva - s.virtualAddress;
        if (inSection + size > s.rawSize) continue;
        return readAt(std::uint64_t{s.rawOffset} + inSection, size, out);
    }
    return false;
}

bool PeFile::parseHeaders() {
    std::string dos;
    if (!readAt(0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint32_t peAt = Le32At(dos, 0x3C);
    std::string coff;
    if (!readAt(peAt, 24, coff) || coff.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
        return false;
    }
    const std::uint16_t sectionCount = Le16At(coff, 6);
    const std::uint16_t optionalSize = Le16At(coff, 20);
    if (sectionCount > kMaxSections) return false;
    std::string optional;
    if (optionalSize < 2 || !readAt(std::uint64_t{peAt} + 24, optionalSize, optional)) {
        return false;
    }
    const std::uint16_t magic = Le16At(optional, 0);
    std::size_t countAt = 0;
    if (magic == 0x10B) {
        countAt = 92;
    } else if (magic == 0x20B) {
        countAt = 108;
        pe64_ = true;
    } else {
        return false;
    }
    const std::size_t directoriesAt = countAt + 4;
    // The resource directory is the third data directory.
    const std::size_t resourceAt = directoriesAt + 2 * 8;
    if (optional.size() >= countAt + 4 && Le32At(optional, countAt) > 2 &&
        optional.size() >= resourceAt + 8) {
        resourceRva_ = Le32At(optional, resourceAt);
        resourceSize_ = Le32At(optional, resourceAt + 4);
    }
    std::string table;
    if (!readAt(std::uint64_t{peAt} + 24 + optionalSize, std::size_t{sectionCount} * 40, table)) {
        return false;
    }
    for (std::size_t i = 0; i < sectionCount; ++i) {
        Section s;
        s.virtualAddress = Le32At(table, i * 40 + 12);
        s.rawSize = Le32At(table, i * 40 + 16);
        s.rawOffset = Le32At(table, i * 40 + 20);
        // A section whose data lies beyond the end of the file: the file was
        // cut short, and nothing in it can be trusted.
        if (s.rawSize != 0 && std::uint64_t{s.rawOffset} + s.rawSize > source_->size) return false;
        sections_.push_back(s);
    }
    return true;
}

std::optional<std::uint32_t> PeFile::findEntry(std::uint32_t directory,
                                               std::optional<std::uint16_t> id) const {
    const std::uint64_t at = std::uint64_t{resourceRva_} + directory;
    if (at > 0xFFFFFFFFu) return std::nullopt;
    std::string header;
    if (!readRva(static_cast<std::uint32_t>(at), 16, header)) return std::nullopt;
    const std::size_t named = Le16At(header, 12);
    const std::size_t count = named + Le16At(header, 14);
    if (count == 0 || at + 16 > 0xFFFFFFFFu) return std::nullopt;
    std::string entries;
    if (!readRva(static_cast<std::uint32_t>(at + 16), count * 8, entries)) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t name = Le32At(entries, i * 8);
        if (!id || (!(name & 0x80000000u) && name == *id)) return Le32At(entries, i * 8 + 4);
    }
    return std::nullopt;
}

std::optional<std::string> PeFile::resource(std::uint16_t type,
                                            std::optional<std::uint16_t> id) const {
    if (resourceRva_ == 0 || resourceSize_ == 0) return std::nullopt;
    // Three levels: type, name, language. The first two must lead to
    // directories, the last to a data entry.
    const auto typeEntry = findEntry(0, type);
    if (!typeEntry || !(*typeEntry & 0x80000000u)) return std::nullopt;
    const auto nameEntry = findEntry(*typeEntry & 0x7FFFFFFFu, id);
    if (!nameEntry || !(*nameEntry & 0x80000000u)) return std::nullopt;
    const auto languageEntry = findEntry(*nameEntry & 0x7FFFFFFFu, std::nullopt);
    if (!languageEntry || (*languageEntry & 0x80000000u)) return std::nullopt;
    const std::uint64_t dataEntryAt = std::uint64_t{resourceRva_} + *languageEntry;
    if (dataEntryAt > 0xFFFFFFFFu) return std::nullopt;
    std::string dataEntry;
    if (!readRva(static_cast<std::uint32_t>(dataEntryAt), 16, dataEntry)) return std::nullopt;
    const std::uint32_t dataRva = Le32At(dataEntry, 0);
    const std::uint32_t size = Le32At(dataEntry, 4);
    if (size > kMaxResourceSize) return std::nullopt;
    std::string data;
    if (!readRva(dataRva, size, data)) return std::nullopt;
    return data;
}

std::optional<std::string> PeFile::versionBlock() const {
    // The system looks for the version resource by its fixed name 1 only.
    return resource(kResourceVersion, 1);
}

std::vector<IconDirEntry> PeFile::iconGroup() const {
    std::vector<IconDirEntry> images;
    const auto group = resource(kResourceGroupIcon);
    if (!group || group->size() < 6 || Le16At(*group, 2) != 1) return images;
    const std::size_t count = std::min<std::size_t>(Le16At(*group, 4), kMaxIconImages);
    for (std::size_t i = 0; i < count && 6 + (i + 1) * 14 <= group->size(); ++i) {
        const std::size_t at = 6 + i * 14;
        IconDirEntry e;
        const auto w = static_cast<unsigned char>((*group)[at]);
        const auto h = static_cast<unsigned char>((*group)[at + 1]);
        const auto colours = static_cast<unsigned char>((*group)[at + 2]);
        e.width = w == 0 ? 256 : w;
        e.height = h == 0 ? 256 : h;
        e.bitCount = Le16At(*group, at + 6);
        if (e.bitCount == 0)
            e.bitCount = colours == 2 ? 1 : (colours != 0 && colours <= 16) ? 4 : 8;
        e.id = Le16At(*group, at + 12);
        images.push_back(e);
    }
    return images;
}

std::optional<std::string> PeFile::iconImage(int width, int height) const {
    std::vector<IconDirEntry> images = iconGroup();
    // An image whose resource is missing is passed over for the next best.
    while (!images.empty()) {
        const int best = ChooseIconImage(images, width, height);
        if (auto data = resource(kResourceIcon, images[static_cast<std::size_t>(best)].id)) {
            return data;
        }
        images.erase(images.begin() + best);
    }
    return std::nullopt;
}

int ChooseIconImage(const std::vector<IconDirEntry>& images, int width, int height) {
    int best = -1;
    std::tuple<int, int, int> bestKey{};
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconDirEntry& e = images[i];
        const int category = (e.width == width && e.height == height)   ? 0
                             : (e.width >= width && e.height >= height) ? 1
                                                                        : 2;
        const std::tuple<int, int, int> key{
            category, std::abs(e.width - width) + std::abs(e.height - height), -e.bitCount};
        if (best < 0 || key < bestKey) {
            best = static_cast<int>(i);
            bestKey = key;
        }
    }
    return best;
}

std::optional<std::string> QueryVersionValue(std::string_view block, std::string_view subBlock) {
    if (block.size() < 6) return std::nullopt;
    auto node = ReadVersionNode(block, 0, std::min<std::size_t>(block.size(), Le16At(block, 0)));
    if (!node) return std::nullopt;
    for (const Text& part : Split(subBlock, "\\")) {
        if (part.empty()) continue;
        const bool ascii = std::all_of(part.begin(), part.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        const std::string wanted = AsciiLower(ascii ? part : GbkToUtf8(part));
        std::optional<VersionNode> found;
        std::size_t at = node->childrenBegin;
        while (at < node->end) {
            auto child = ReadVersionNode(block, at, node->end);
            if (!child) break;
            if (KeyEquals(block, *child, wanted)) {
                found = child;
                break;
            }
            at = Align4(child->end);
        }
        if (!found) return std::nullopt;
        node = found;
    }
    if (node->type == 1) {
        return Utf16LeToGbk(Utf16UpToZero(block, node->valueBegin, node->valueEnd));
    }
    return std::string(block.substr(node->valueBegin, node->valueEnd - node->valueBegin));
}

}  // namespace box
