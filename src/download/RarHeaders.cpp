#include "download/RarHeaders.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

namespace box {

namespace {

// Reads n bytes at an offset; false when fewer are there.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t n, std::string& out)>;

constexpr std::string_view kRar4Signature("Rar!\x1A\x07\x00", 7);
constexpr std::string_view kRar5Signature("Rar!\x1A\x07\x01\x00", 8);
// libarchive refuses longer RAR 5 headers too.
constexpr std::uint64_t kMaxRar5Header = 2 * 1024 * 1024;

std::uint32_t Le(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

bool Add(std::uint64_t& offset, std::uint64_t n) {
    if (n > std::numeric_limits<std::uint64_t>::max() - offset) return false;
    offset += n;
    return true;
}

// ---- format 4: blocks of CRC16, type, flags, size, [added size] ----

constexpr unsigned kRar4File = 0x74, kRar4End = 0x7B;
constexpr unsigned kRar4LongBlock = 0x8000, kRar4Large = 0x0100, kRar4Password = 0x0004,
                   kRar4Unicode = 0x0200, kRar4DirectoryBits = 0x00E0;
constexpr std::size_t kRar4FileFixed = 32;  // block head + fixed file fields

RarFacts WalkRar4(const ReadAt& read) {
    RarFacts facts;
    std::uint64_t offset = kRar4Signature.size();
    std::string head;
    for (;;) {
        if (!read(offset, 7, head)) return facts;
        const unsigned type = static_cast<unsigned char>(head[2]);
        const unsigned flags = Le(head, 3, 2);
        const std::uint32_t size = Le(head, 5, 2);
        if (size < 7) return facts;
        if (type == kRar4End) {
            facts.complete = true;
            return facts;
        }
        std::uint64_t added = 0;
        if (type == kRar4File) {
            if (size < kRar4FileFixed || !read(offset, size, head)) return facts;
            RarEntryFacts f;
            std::uint64_t packed = Le(head, 7, 4);
            f.unpackedSize = Le(head, 11, 4);
            f.crc = Le(head, 16, 4);
            f.hasCrc = true;
            f.encrypted = (flags & kRar4Password) != 0;
            f.directory = (flags & kRar4DirectoryBits) == kRar4DirectoryBits;
            std::size_t nameAt = kRar4FileFixed;
            if (flags & kRar4Large) {
                if (size < kRar4FileFixed + 8) return facts;
                packed |= std::uint64_t{Le(head, 32, 4)} << 32;
                f.unpackedSize |= std::uint64_t{Le(head, 36, 4)} << 32;
                nameAt += 8;
            }
            const std::size_t nameSize = Le(head, 26, 2);
            if (nameAt + nameSize > size) return facts;
            if (!(flags & kRar4Unicode)) f.codePageName = head.substr(nameAt, nameSize);
            added = packed;
            facts.entries.push_back(f);
        } else if (flags & kRar4LongBlock) {
            if (size < 11 || !read(offset, 11, head)) return facts;
            added = Le(head, 7, 4);
        }
        if (!Add(offset, size) || !Add(offset, added)) return facts;
    }
}

// ---- format 5: CRC32, size, then type, flags, [extra size], [data size] ----

constexpr std::uint64_t kRar5File = 2, kRar5Crypt = 4, kRar5End = 5;
constexpr std::uint64_t kRar5HasExtra = 0x0001, kRar5HasData = 0x0002;
constexpr std::uint64_t kRar5Directory = 0x0001, kRar5HasTime = 0x0002, kRar5HasCrc = 0x0004;
constexpr std::uint64_t kRar5ExtraCrypt = 0x01;

class VintReader {
public:
    explicit VintReader(std::string_view s, std::size_t at = 0) : s_(s), at_(at) {}
    bool Vint(std::uint64_t& v) {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at_ >= s_.size()) return false;
            const auto b = static_cast<unsigned char>(s_[at_++]);
            v |= std::uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool U32(std::uint32_t& v) {
        if (s_.size() - at_ < 4) return false;
        v = Le(s_, at_, 4);
        at_ += 4;
        return true;
    }
    bool Skip(std::uint64_t n) {
        if (n > s_.size() - at_) return false;
        at_ += static_cast<std::size_t>(n);
        return true;
    }
    std::size_t at() const { return at_; }

private:
    std::string_view s_;
    std::size_t at_;
};

bool HasCryptRecord(std::string_view extra) {
    VintReader r(extra);
    while (r.at() < extra.size()) {
        std::uint64_t size = 0, type = 0;
        if (!r.Vint(size)) return false;
        const std::size_t start = r.at();
        if (!r.Vint(type)) return false;
        if (type == kRar5ExtraCrypt) return true;
        if (size < r.at() - start || !r.Skip(size - (r.at() - start))) return false;
    }
    return false;
}

bool ParseRar5File(std::string_view body, VintReader& r, std::uint64_t extraSize,
                   RarEntryFacts& f) {
    std::uint64_t fileFlags = 0, attributes = 0, compression = 0, host = 0, nameSize = 0;
    if (!r.Vint(fileFlags) || !r.Vint(f.unpackedSize) || !r.Vint(attributes)) return false;
    std::uint32_t skipped = 0;
    if ((fileFlags & kRar5HasTime) && !r.U32(skipped)) return false;
    f.hasCrc = (fileFlags & kRar5HasCrc) != 0;
    if (f.hasCrc && !r.U32(f.crc)) return false;
    if (!r.Vint(compression) || !r.Vint(host) || !r.Vint(nameSize) || !r.Skip(nameSize)) {
        return false;
    }
    f.directory = (fileFlags & kRar5Directory) != 0;
    if (extraSize > body.size() - r.at()) return false;
    f.encrypted = HasCryptRecord(body.substr(body.size() - extraSize));
    return true;
}

RarFacts WalkRar5(const ReadAt& read) {
    RarFacts facts;
    std::uint64_t offset = kRar5Signature.size();
    std::string head;
    for (;;) {
        // CRC32, then the size in at most three bytes for headers up to 2 MiB.
        if (!read(offset, 4, head)) return facts;
        std::string sizeBytes;
        if (!read(offset + 4, 3, sizeBytes) && !read(offset + 4, 1, sizeBytes)) return facts;
        VintReader sizeReader(sizeBytes);
        std::uint64_t headerSize = 0;
        if (!sizeReader.Vint(headerSize) || headerSize == 0 || headerSize > kMaxRar5Header) {
            return facts;
        }
        std::uint64_t bodyOffset = offset + 4 + sizeReader.at();
        std::string body;
        if (!read(bodyOffset, static_cast<std::size_t>(headerSize), body)) return facts;
        VintReader r(body);
        std::uint64_t type = 0, flags = 0, extraSize = 0, dataSize = 0;
        if (!r.Vint(type) || !r.Vint(flags)) return facts;
        if ((flags & kRar5HasExtra) && !r.Vint(extraSize)) return facts;
        if ((flags & kRar5HasData) && !r.Vint(dataSize)) return facts;
        if (type == kRar5End) {
            facts.complete = true;
            return facts;
        }
        // Encrypted headers cannot be read without the password.
        if (type == kRar5Crypt) return facts;
        if (type == kRar5File) {
            RarEntryFacts f;
            if (!ParseRar5File(body, r, extraSize, f)) return facts;
            facts.entries.push_back(f);
        }
        offset = bodyOffset;
        if (!Add(offset, headerSize) || !Add(offset, dataSize)) return facts;
    }
}

RarFacts Walk(const ReadAt& read) {
    std::string signature;
    if (read(0, kRar5Signature.size(), signature) && signature == kRar5Signature) {
        return WalkRar5(read);
    }
    if (read(0, kRar4Signature.size(), signature) && signature == kRar4Signature) {
        return WalkRar4(read);
    }
    return {};
}

}  // namespace

RarFacts RarFactsOf(std::string_view archive) {
    return Walk([archive](std::uint64_t offset, std::size_t n, std::string& out) {
        if (offset > archive.size() || n > archive.size() - offset) return false;
        out.assign(archive.substr(static_cast<std::size_t>(offset), n));
        return true;
    });
}

RarFacts ReadRarFacts(const std::filesystem::path& archive) {
    std::ifstream in(archive, std::ios::binary);
    if (!in) return {};
    return Walk([&in](std::uint64_t offset, std::size_t n, std::string& out) {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max())) {
            return false;
        }
        in.clear();
        if (!in.seekg(static_cast<std::streamoff>(offset))) return false;
        out.resize(n);
        in.read(out.data(), static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(in.gcount()) == n;
    });
}

}  // namespace box
