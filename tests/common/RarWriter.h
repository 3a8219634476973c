#pragma once
// Writes small RAR archives (format 4, as RAR 2.9 to 4.x write them, and
// format 5) with the store method, from the published layouts, so tests,
// fuzz seeds and demo tools never need archives from elsewhere. Hostile
// archives are made with the same writer: names are stored as given, and a
// few flags damage what a real archiver would get right.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace box::test {

enum class RarFormat { kRar4, kRar5 };

struct RarEntry {
    enum class Type { kFile, kDirectory, kSymlink, kHardLink };

    // UTF-8, stored as it stands: separators ("\" or "/") and "..", drive
    // letters and the like are not touched.
    std::string name;
    Type type = Type::kFile;
    // The file's bytes; for links the link target (UTF-8).
    std::string data;
    // Format 4: store the name as UTF-16 behind its GBK form (the Unicode
    // flag) instead of as GBK bytes alone. Format 5 names are always UTF-8.
    bool unicodeName = false;
    // Marks the entry encrypted. The data stays as given; nothing can decrypt it.
    bool encrypted = false;
    // Stores a data CRC that does not match the data.
    bool wrongCrc = false;
};

inline RarEntry RarFile(std::string name, std::string data) {
    return {std::move(name), RarEntry::Type::kFile, std::move(data)};
}
inline RarEntry RarDirectory(std::string name) {
    return {std::move(name), RarEntry::Type::kDirectory, {}};
}
// Format 4 has no link entries of its own: a symbolic link is a file from a
// Unix host whose mode says link and whose data is the target. Hard links
// exist in format 5 only; BuildRar refuses them for format 4.
inline RarEntry RarSymlink(std::string name, std::string target) {
    return {std::move(name), RarEntry::Type::kSymlink, std::move(target)};
}
inline RarEntry RarHardLink(std::string name, std::string target) {
    return {std::move(name), RarEntry::Type::kHardLink, std::move(target)};
}

// The whole archive: signature, main header, one header (and the data) per
// entry, end-of-archive header. Throws std::invalid_argument for what the
// format cannot hold (a hard link in format 4, a name of more than 64 KiB).
std::string BuildRar(RarFormat format, const std::vector<RarEntry>& entries);

// Writes BuildRar's bytes to path; false when the file cannot be written.
bool WriteRar(const std::filesystem::path& path, RarFormat format,
              const std::vector<RarEntry>& entries);

// CRC-32 (IEEE, as zip and RAR use it) of bytes.
std::uint32_t Crc32(std::string_view bytes);

}  // namespace box::test
