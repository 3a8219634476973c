#pragma once
// What libarchive (3.6) reads from a RAR archive but does not act on: the
// data CRC of stored entries, which it never checks, and the encryption
// record of a RAR 5 entry, which it skips and then hands out the encrypted
// bytes as the entry's data. A walk over the headers alone, in the order in
// which the file entries follow each other, so the extraction can refuse
// what libarchive would let through.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace box {

struct RarEntryFacts {
    bool encrypted = false;
    bool directory = false;
    bool hasCrc = false;
    std::uint32_t crc = 0;  // CRC-32 of the unpacked data, when hasCrc
    std::uint64_t unpackedSize = 0;
    // Format 4 names without the Unicode flag: the stored code-page bytes,
    // "\" between folders. libarchive turns every 0x5C byte into "/" before
    // it converts such a name, and so breaks GBK characters whose second
    // byte is 0x5C (誠 is D5 5C); the name converts from these bytes instead.
    std::string codePageName;
};

struct RarFacts {
    // The file entries (service headers left out) up to the end of the
    // archive or to the first header that is damaged or cut off.
    std::vector<RarEntryFacts> entries;
    // The walk reached the end-of-archive header. libarchive takes an archive
    // cut right before or inside a RAR 5 header for a whole one with fewer
    // entries; a cut download must not install.
    bool complete = false;
};

// Nothing when the bytes do not start with a RAR 4 or RAR 5 signature.
// Headers are read lazily, as the extraction does, so a cut archive still
// yields the entries before the cut.
RarFacts RarFactsOf(std::string_view archive);
RarFacts ReadRarFacts(const std::filesystem::path& archive);

}  // namespace box
