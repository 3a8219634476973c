#include "platform/ElfSections.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace box {

namespace {

constexpr std::uint32_t kSectionNoBits = 8;       // SHT_NOBITS
constexpr std::uint32_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX
// More sections than any real executable has; a damaged count beyond it would
// only make the search slow.
constexpr std::uint64_t kMaxSections = 1 << 16;
constexpr std::uint64_t kMaxNameTableBytes = 16 << 20;

// Reads size bytes at offset into out; false when they are not all there.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::string& out)>;

struct Layout {
    bool is64 = false;
    bool bigEndian = false;

    std::uint64_t Load(const std::string& d, std::size_t at, std::size_t n) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t k = bigEndian ? i : n - 1 - i;
            v = v << 8 | static_cast<unsigned char>(d[at + k]);
        }
        return v;
    }
    // A field that is 4 bytes in 32-bit files and 8 in 64-bit ones.
    std::uint64_t Word(const std::string& d, std::size_t at32, std::size_t at64) const {
        return is64 ? Load(d, at64, 8) : Load(d, at32, 4);
    }
};

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

std::optional<std::string> FindSection(const ReadAt& read, std::string_view wanted) {
    std::string head;
    if (!read(0, 64, head) && !read(0, 52, head)) return std::nullopt;
    if (!LooksLikeElf(head)) return std::nullopt;
    Layout layout;
    if (head[4] == 1) {
        layout.is64 = false;
    } else if (head[4] == 2) {
        layout.is64 = true;
    } else {
        return std::nullopt;
    }
    if (head[5] == 1) {
        layout.bigEndian = false;
    } else if (head[5] == 2) {
        layout.bigEndian = true;
    } else {
        return std::nullopt;
    }
    if (layout.is64 && head.size() < 64) return std::nullopt;

    const std::uint64_t tableAt = layout.Word(head, 0x20, 0x28);
    const std::size_t entrySize = layout.Load(head, layout.is64 ? 0x3A : 0x2E, 2);
    std::uint64_t count = layout.Load(head, layout.is64 ? 0x3C : 0x30, 2);
    std::uint64_t namesIndex = layout.Load(head, layout.is64 ? 0x3E : 0x32, 2);
    const std::size_t minEntry = layout.is64 ? 64 : 40;
    if (tableAt == 0 || entrySize < minEntry) return std::nullopt;

    auto header = [&](std::uint64_t index) -> std::optional<SectionHeader> {
        if (index >= kMaxSections) return std::nullopt;
        std::string raw;
        if (!read(tableAt + index * entrySize, minEntry, raw)) return std::nullopt;
        SectionHeader h;
        h.name = static_cast<std::uint32_t>(layout.Load(raw, 0, 4));
        h.type = static_cast<std::uint32_t>(layout.Load(raw, 4, 4));
        h.offset = layout.Word(raw, 16, 24);
        h.size = layout.Word(raw, 20, 32);
        h.link = static_cast<std::uint32_t>(layout.Load(raw, layout.is64 ? 40 : 24, 4));
        return h;
    };

    // Files with very many sections keep the true count and the index of the
    // name table in the first section header.
    if (count == 0 || namesIndex == kExtendedIndex) {
        const auto first = header(0);
        if (!first) return std::nullopt;
        if (count == 0) count = first->size;
        if (namesIndex == kExtendedIndex) namesIndex = first->link;
    }
    if (count == 0 || count > kMaxSections || namesIndex >= count) return std::nullopt;

    const auto namesHeader = header(namesIndex);
    if (!namesHeader || namesHeader->type == kSectionNoBits ||
        namesHeader->size > kMaxNameTableBytes) {
        return std::nullopt;
    }
    std::string names;
    if (!read(namesHeader->offset, static_cast<std::size_t>(namesHeader->size), names)) {
        return std::nullopt;
    }

    for (std::uint64_t index = 0; index < count; ++index) {
        const auto section = header(index);
        if (!section) return std::nullopt;
        if (section->name >= names.size()) continue;
        const std::size_t end = names.find('\0', section->name);
        if (end == std::string::npos) continue;
        if (std::string_view(names).substr(section->name, end - section->name) != wanted) {
            continue;
        }
        if (section->type == kSectionNoBits || section->size > kMaxElfSectionBytes) {
            return std::nullopt;
        }
        std::string bytes;
        if (!read(section->offset, static_cast<std::size_t>(section->size), bytes)) {
            return std::nullopt;
        }
        return bytes;
    }
    return std::nullopt;
}

}  // namespace

bool LooksLikeElf(std::string_view head) {
    return head.size() >= 16 && head.substr(0, 4) == std::string_view(
                                                         "\x7F"
                                                         "ELF",
                                                         4);
}

std::optional<std::string> ElfSectionFromBytes(std::string_view bytes, std::string_view name) {
    const ReadAt read = [bytes](std::uint64_t offset, std::size_t size, std::string& out) {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        out.assign(bytes.substr(static_cast<std::size_t>(offset), size));
        return true;
    };
    return FindSection(read, name);
}

std::optional<std::string> ReadElfSection(const std::filesystem::path& file,
                                          std::string_view name) {
    // O_NONBLOCK: a FIFO under the file's name must not hang the open; it is
    // no regular file and is refused below.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st;
    std::optional<std::string> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const auto fileSize = static_cast<std::uint64_t>(st.st_size);
        const ReadAt read = [fd, fileSize](std::uint64_t offset, std::size_t size,
                                           std::string& out) {
            if (offset > fileSize || size > fileSize - offset) return false;
            out.resize(size);
            std::size_t done = 0;
            while (done < size) {
                const ssize_t n =
                    ::pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
                if (n <= 0) return false;  // the file shrank under us, or an I/O error
                done += static_cast<std::size_t>(n);
            }
            return true;
        };
        result = FindSection(read, name);
    }
    ::close(fd);
    return result;
}

}  // namespace box
