#include "RarWriter.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

#include "support/Text.h"

namespace box::test {

namespace {

void PutU8(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
}
void PutU16(std::string& s, unsigned v) {
    PutU8(s, v);
    PutU8(s, v >> 8);
}
void PutU32(std::string& s, std::uint32_t v) {
    PutU16(s, v & 0xFFFF);
    PutU16(s, v >> 16);
}
// Format 5 numbers: seven bits a byte, low bits first, high bit = more follows.
void PutVint(std::string& s, std::uint64_t v) {
    while (v >= 0x80) {
        PutU8(s, static_cast<unsigned>(v & 0x7F) | 0x80);
        v >>= 7;
    }
    PutU8(s, static_cast<unsigned>(v));
}

std::uint32_t DataCrc(const RarEntry& e) {
    const std::uint32_t crc = Crc32(e.data);
    return e.wrongCrc ? crc ^ 1 : crc;
}

// 2020-01-01 00:00:00 as an MS-DOS date and time.
constexpr std::uint32_t kDosTime = ((2020u - 1980u) << 25) | (1u << 21) | (1u << 16);
// 2020-01-01 00:00:00 as Unix time.
constexpr std::uint32_t kUnixTime = 1577836800u;
constexpr std::uint32_t kUnixLinkMode = 0120777;
constexpr std::uint32_t kUnixFileMode = 0100644;
constexpr std::uint32_t kWinDirectory = 0x10;
constexpr std::uint32_t kWinArchive = 0x20;

// ---- format 4 ----

constexpr char kRar4Signature[] = "Rar!\x1A\x07\x00";
constexpr unsigned kRar4Main = 0x73, kRar4File = 0x74, kRar4End = 0x7B;
constexpr unsigned kRar4LongBlock = 0x8000, kRar4Password = 0x0004, kRar4Unicode = 0x0200,
                   kRar4DirectoryBits = 0x00E0, kRar4EndFlags = 0x4000;
constexpr unsigned kHostWin32 = 2, kHostUnix = 3;

// A block: CRC16 (low half of the CRC-32 of everything after it), type,
// flags, size, then body.
std::string Rar4Block(unsigned type, unsigned flags, const std::string& body) {
    std::string head;
    PutU8(head, type);
    PutU16(head, flags);
    const std::size_t size = 2 + head.size() + 2 + body.size();
    if (size > 0xFFFF) throw std::invalid_argument("RAR 4 header longer than 64 KiB");
    PutU16(head, static_cast<unsigned>(size));
    head += body;
    std::string block;
    PutU16(block, Crc32(head) & 0xFFFF);
    return block + head;
}

// The Unicode name field: the GBK name, a zero byte, then the UTF-16 name in
// the format's packed form. Every character is written with the two-byte
// code (2), four codes to a flag byte; the high-byte prefix goes unused.
std::string Rar4UnicodeName(const std::string& utf8) {
    bool ok = false;
    const std::string utf16 = ConvertEncoding(utf8, "UTF-8", "UTF-16LE", &ok);
    if (!ok) throw std::invalid_argument("name is not UTF-8");
    std::string field = Utf8ToGbk(utf8);
    field += '\0';
    PutU8(field, 0);  // high byte for code 1
    const std::size_t units = utf16.size() / 2;
    for (std::size_t i = 0; i < units; i += 4) {
        const std::size_t n = std::min<std::size_t>(4, units - i);
        unsigned flags = 0;
        for (std::size_t k = 0; k < 4; ++k) flags = (flags << 2) | (k < n ? 2u : 0u);
        PutU8(field, flags);
        field.append(utf16, i * 2, n * 2);
    }
    return field;
}

std::string Rar4Entry(const RarEntry& e) {
    unsigned flags = kRar4LongBlock;
    unsigned host = kHostWin32;
    std::uint32_t attributes = kWinArchive;
    switch (e.type) {
        case RarEntry::Type::kFile:
            break;
        case RarEntry::Type::kDirectory:
            flags |= kRar4DirectoryBits;
            attributes = kWinDirectory;
            break;
        case RarEntry::Type::kSymlink:
            host = kHostUnix;
            attributes = kUnixLinkMode;
            break;
        case RarEntry::Type::kHardLink:
            throw std::invalid_argument("RAR 4 has no hard-link entries");
    }
    if (e.encrypted) flags |= kRar4Password;
    std::string name = e.unicodeName ? Rar4UnicodeName(e.name) : Utf8ToGbk(e.name);
    if (e.unicodeName) flags |= kRar4Unicode;
    const auto size = static_cast<std::uint32_t>(e.data.size());
    std::string body;
    PutU32(body, size);  // packed size: stored
    PutU32(body, size);
    PutU8(body, host);
    PutU32(body, DataCrc(e));
    PutU32(body, kDosTime);
    PutU8(body, 29);    // version needed: 2.9
    PutU8(body, 0x30);  // store
    if (name.size() > 0xFFFF) throw std::invalid_argument("name too long");
    PutU16(body, static_cast<unsigned>(name.size()));
    PutU32(body, attributes);
    body += name;
    return Rar4Block(kRar4File, flags, body) + e.data;
}

std::string BuildRar4(const std::vector<RarEntry>& entries) {
    std::string out(kRar4Signature, sizeof kRar4Signature - 1);
    out += Rar4Block(kRar4Main, 0, std::string(6, '\0'));
    for (const RarEntry& e : entries) out += Rar4Entry(e);
    out += Rar4Block(kRar4End, kRar4EndFlags, {});
    return out;
}

// ---- format 5 ----

constexpr char kRar5Signature[] = "Rar!\x1A\x07\x01\x00";
constexpr unsigned kRar5Main = 1, kRar5File = 2, kRar5End = 5;
constexpr unsigned kRar5HasExtra = 0x0001, kRar5HasData = 0x0002;
constexpr unsigned kRar5Directory = 0x0001, kRar5HasTime = 0x0002, kRar5HasCrc = 0x0004;
constexpr unsigned kRar5HostWindows = 0, kRar5HostUnix = 1;
constexpr unsigned kRar5ExtraCrypt = 0x01, kRar5ExtraRedirect = 0x05;
constexpr unsigned kRar5UnixSymlink = 1, kRar5HardLink = 4;

// A header: CRC-32 of what follows it, size of what follows the size, then
// type, flags and the rest.
std::string Rar5Header(const std::string& typeFlagsAndBody) {
    std::string sized;
    PutVint(sized, typeFlagsAndBody.size());
    sized += typeFlagsAndBody;
    std::string header;
    PutU32(header, Crc32(sized));
    return header + sized;
}

std::string Rar5Record(unsigned type, const std::string& body) {
    std::string typed;
    PutVint(typed, type);
    typed += body;
    std::string record;
    PutVint(record, typed.size());
    return record + typed;
}

std::string Rar5Extra(const RarEntry& e) {
    std::string extra;
    if (e.encrypted) {
        std::string body;
        PutVint(body, 0);         // version: AES-256
        PutVint(body, 0x0001);    // a password check value is present
        PutU8(body, 15);          // log2 of the key derivation rounds
        body.append(16, '\x5A');  // salt
        body.append(16, '\xA5');  // initialisation vector
        body.append(12, '\x3C');  // password check value
        extra += Rar5Record(kRar5ExtraCrypt, body);
    }
    if (e.type == RarEntry::Type::kSymlink || e.type == RarEntry::Type::kHardLink) {
        std::string body;
        PutVint(body, e.type == RarEntry::Type::kSymlink ? kRar5UnixSymlink : kRar5HardLink);
        PutVint(body, 0);  // flags: the target is no directory
        PutVint(body, e.data.size());
        body += e.data;
        extra += Rar5Record(kRar5ExtraRedirect, body);
    }
    return extra;
}

std::string Rar5Entry(const RarEntry& e) {
    const bool link = e.type == RarEntry::Type::kSymlink || e.type == RarEntry::Type::kHardLink;
    const std::string data = link ? std::string() : e.data;
    const std::string extra = Rar5Extra(e);
    unsigned fileFlags = kRar5HasTime | kRar5HasCrc;
    std::uint32_t attributes = kWinArchive;
    unsigned host = kRar5HostWindows;
    if (e.type == RarEntry::Type::kDirectory) {
        fileFlags = kRar5Directory | kRar5HasTime;
        attributes = kWinDirectory;
    } else if (e.type == RarEntry::Type::kSymlink) {
        host = kRar5HostUnix;
        attributes = kUnixLinkMode;
    } else if (e.type == RarEntry::Type::kHardLink) {
        host = kRar5HostUnix;
        attributes = kUnixFileMode;
    }
    std::string h;
    PutVint(h, kRar5File);
    PutVint(h, kRar5HasData | (extra.empty() ? 0u : kRar5HasExtra));
    if (!extra.empty()) PutVint(h, extra.size());
    PutVint(h, data.size());
    PutVint(h, fileFlags);
    PutVint(h, data.size());
    PutVint(h, attributes);
    PutU32(h, kUnixTime);
    if (fileFlags & kRar5HasCrc) {
        RarEntry counted = e;
        counted.data = data;
        PutU32(h, DataCrc(counted));
    }
    PutVint(h, 0);  // compression: version 0, store, smallest dictionary
    PutVint(h, host);
    PutVint(h, e.name.size());
    h += e.name;
    h += extra;
    return Rar5Header(h) + data;
}

std::string BuildRar5(const std::vector<RarEntry>& entries) {
    std::string out(kRar5Signature, sizeof kRar5Signature - 1);
    std::string main;
    PutVint(main, kRar5Main);
    PutVint(main, 0);  // header flags
    PutVint(main, 0);  // archive flags: one volume, not solid
    out += Rar5Header(main);
    for (const RarEntry& e : entries) out += Rar5Entry(e);
    std::string end;
    PutVint(end, kRar5End);
    PutVint(end, 0);
    PutVint(end, 0);  // last volume
    out += Rar5Header(end);
    return out;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    static const auto kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            table[i] = c;
        }
        return table;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) crc = (crc >> 8) ^ kTable[(crc ^ c) & 0xFF];
    return ~crc;
}

std::string BuildRar(RarFormat format, const std::vector<RarEntry>& entries) {
    return format == RarFormat::kRar4 ? BuildRar4(entries) : BuildRar5(entries);
}

bool WriteRar(const std::filesystem::path& path, RarFormat format,
              const std::vector<RarEntry>& entries) {
    const std::string bytes = BuildRar(format, entries);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace box::test
