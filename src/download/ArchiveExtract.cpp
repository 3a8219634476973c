#include "download/ArchiveExtract.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#include "download/RarHeaders.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

namespace {

constexpr int kDefaultAttempts = 3;
constexpr int kRetryWaitMs = 1000;
constexpr std::size_t kReadBlock = 1 << 16;

// libarchive turns entry names into the calling thread's multibyte charset.
// Under "C" (Qt leaves it so when the environment names no locale) every
// Chinese name fails to convert, so the pass runs under a UTF-8 LC_CTYPE of
// its own thread, whatever the process has set.
class Utf8ThreadLocale {
public:
    Utf8ThreadLocale() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr))) {
        if (utf8_) previous_ = uselocale(utf8_);
    }
    ~Utf8ThreadLocale() {
        if (!utf8_) return;
        uselocale(previous_);
        freelocale(utf8_);
    }
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;

private:
    locale_t utf8_;
    locale_t previous_ = nullptr;
};

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReadFree>;
using Writer = std::unique_ptr<archive, WriteFree>;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 and CONIN$/CONOUT$, with or without an
// extension and trailing blanks, in any case ("nul.txt", "Com1 .exe").
bool IsDeviceName(std::string_view part) {
    std::string_view stem = part.substr(0, part.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string upper;
    for (char c : stem) upper += Upper(c);
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view d : kPlain) {
        if (upper == d) return true;
    }
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) {
        return false;
    }
    const std::string_view number = std::string_view(upper).substr(3);
    // Windows also takes the superscript digits one to three as port numbers.
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool IsSafePart(std::string_view part) {
    for (char c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ':') return false;
    }
    if (part.find_first_not_of(". ") == std::string_view::npos) return part == ".";
    return !IsDeviceName(part);
}

// The destination as the prefix of every entry: absolute, without links, so
// that the check for links along an entry's path sees only the entry's own
// parts.
bool Destination(const std::filesystem::path& archive, std::string& out) {
    std::error_code ec;
    std::filesystem::path folder = archive.parent_path();
    if (folder.empty()) folder = std::filesystem::current_path(ec);
    if (ec) return false;
    folder = std::filesystem::canonical(folder, ec);
    if (ec) return false;
    out = folder.native();
    if (out.empty() || out.back() != '/') out += '/';
    return true;
}

// The name as checked: "\\" separates folders in archives made on Windows,
// which libarchive converts in some names only.
std::string SlashSeparated(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

bool IsAllowedType(archive_entry* entry) {
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
        case AE_IFLNK:
            return true;
        default:
            return false;  // devices, pipes and sockets are no program files
    }
}

// Checks the entry's names and roots them in the destination. The name is
// joined onto the destination, never resolved against the working folder,
// which is the whole process's.
bool PrepareEntry(archive_entry* entry, const std::string& destination) {
    // libarchive hands out the stored bytes of an encrypted entry as its data.
    if (archive_entry_is_encrypted(entry)) return false;
    const char* name = archive_entry_pathname(entry);
    if (!name || !IsSafeEntryName(name) || !IsAllowedType(entry)) return false;
    const std::string path = destination + SlashSeparated(name);
    if (const char* target = archive_entry_hardlink(entry)) {
        if (!IsSafeEntryName(target)) return false;
        archive_entry_set_hardlink(entry, (destination + SlashSeparated(target)).c_str());
    }
    if (archive_entry_filetype(entry) == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        if (!target || !IsSafeEntryName(target)) return false;
        archive_entry_set_symlink(entry, SlashSeparated(target).c_str());
    }
    archive_entry_set_pathname(entry, path.c_str());
    return true;
}

// A format 4 name that libarchive failed to convert, converted from its
// stored GBK bytes.
bool RecoverName(archive_entry* entry, const RarEntryFacts& facts) {
    if (archive_entry_pathname(entry) || facts.codePageName.empty()) return false;
    bool ok = false;
    const std::string utf8 = ConvertEncoding(facts.codePageName, "CP936", "UTF-8", &ok);
    if (!ok || utf8.find('\0') != std::string::npos) return false;
    archive_entry_set_pathname(entry, utf8.c_str());
    return true;
}

// Copies the entry's data and checks it against its header: libarchive
// checks no CRC of a stored entry, and a damaged download must not install.
bool CopyData(archive* in, archive* out, const RarEntryFacts& facts) {
    std::uint64_t copied = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK || offset < 0 || static_cast<std::uint64_t>(offset) != copied) {
            return false;
        }
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK) return false;
        crc = crc32_z(crc, static_cast<const Bytef*>(block), size);
        copied += size;
    }
    return copied == facts.unpackedSize && (!facts.hasCrc || crc == facts.crc);
}

// Where a file's data goes until it is complete and checked: beside its
// final name, so the rename stays within one folder and file system.
std::string PartName(const std::string& finalPath) {
    const std::size_t slash = finalPath.rfind('/');
    return finalPath.substr(0, slash + 1) + "." + finalPath.substr(slash + 1) + ".part";
}

// Moves the checked part file to the final name. The old file is unlinked
// first rather than renamed over: ext4 starts writing back every file that
// replaces another by rename, which made extracting 200 MB over a previous
// copy take twice bsdtar's time; unlinking first, as bsdtar does, kept pace.
// The final name is briefly missing, but never holds a partial file.
bool ReplaceWith(const std::string& partPath, const std::string& finalPath) {
    if (::unlink(finalPath.c_str()) != 0 && errno != ENOENT && errno != EISDIR) return false;
    return std::rename(partPath.c_str(), finalPath.c_str()) == 0;
}

// A file's data is written under a temporary name and renamed over the
// final name only when it is complete and matches its CRC, so a failed pass
// never leaves a half-written or damaged program where the old one was.
bool ExtractFile(archive* in, archive* out, archive_entry* entry, const RarEntryFacts& facts) {
    const std::string finalPath = archive_entry_pathname(entry);
    const std::string partPath = PartName(finalPath);
    archive_entry_set_pathname(entry, partPath.c_str());
    const bool ok = archive_write_header(out, entry) == ARCHIVE_OK && CopyData(in, out, facts) &&
                    archive_write_finish_entry(out) == ARCHIVE_OK &&
                    ReplaceWith(partPath, finalPath);
    if (!ok) std::remove(partPath.c_str());
    return ok;
}

bool ExtractEntry(archive* in, archive* out, archive_entry* entry, const RarEntryFacts& facts,
                  const std::string& destination) {
    // libarchive skips the encryption record of a RAR 5 entry and would hand
    // out the encrypted bytes as data.
    if (facts.encrypted) return false;
    // The facts belong to another entry when the two readings disagree.
    if (facts.directory != (archive_entry_filetype(entry) == AE_IFDIR)) return false;
    if (!PrepareEntry(entry, destination)) return false;
    if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr) {
        return ExtractFile(in, out, entry, facts);
    }
    // Directory and link entries carry no data to read.
    return archive_write_header(out, entry) == ARCHIVE_OK &&
           archive_write_finish_entry(out) == ARCHIVE_OK;
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || IsSeparator(name.front())) return false;
    bool named = false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        const std::string_view part = name.substr(start, end - start);
        if (!part.empty()) {
            if (!IsSafePart(part)) return false;
            if (part != ".") named = true;
        }
        start = end + 1;
    }
    return named;
}

bool ExtractRar(const std::filesystem::path& archivePath) {
    std::string destination;
    if (!Destination(archivePath, destination)) return false;
    Utf8ThreadLocale utf8;

    Reader in(archive_read_new());
    if (!in) return false;
    archive_read_support_format_rar(in.get());
    archive_read_support_format_rar5(in.get());
    // Names without the Unicode flag are in the archiver's code page.
    archive_read_set_format_option(in.get(), "rar", "hdrcharset", "CP936");
    if (archive_read_open_filename(in.get(), archivePath.c_str(), kReadBlock) != ARCHIVE_OK) {
        return false;
    }

    Writer out(archive_write_disk_new());
    if (!out) return false;
    // ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS cannot be set: every path handed
    // over is absolute, the destination's. Absolute entry names are refused
    // by IsSafeEntryName, and joined onto the destination they stay inside.
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS);

    const RarFacts archiveFacts = ReadRarFacts(archivePath);
    const std::vector<RarEntryFacts>& facts = archiveFacts.entries;
    std::size_t extracted = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) {
            return extracted > 0 && archiveFacts.complete && extracted == facts.size();
        }
        if (extracted >= facts.size()) return false;
        // A warning here is a name that did not convert: it would be extracted
        // under another name, unless the stored bytes convert.
        if (r != ARCHIVE_OK && !(r == ARCHIVE_WARN && RecoverName(entry, facts[extracted]))) {
            return false;
        }
        if (!ExtractEntry(in.get(), out.get(), entry, facts[extracted], destination)) return false;
        ++extracted;
    }
}

bool ExtractArchive(EventPump& pump, const std::filesystem::path& archive, int attempts) {
    const int passes = attempts > 0 ? attempts : kDefaultAttempts;
    for (int i = 0; i < passes; ++i) {
        if (ExtractRar(archive)) return true;
        WaitWithEvents(pump, kRetryWaitMs);
    }
    return false;
}

}  // namespace box
