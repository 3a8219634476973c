#pragma once
// The version strings of an installed program and what they mean for its
// catalog entry.

#include <filesystem>
#include <optional>
#include <string_view>

#include "catalog/CatalogEntry.h"
#include "platform/PeResources.h"
#include "support/Text.h"

namespace box {

// The twelve standard strings of a version resource; absent or empty ones
// stay empty.
struct VersionInfo {
    Text comments;
    Text companyName;
    Text fileDescription;
    Text fileVersion;
    Text internalName;
    Text legalCopyright;
    Text legalTrademarks;
    Text originalFilename;
    Text privateBuild;
    Text productName;
    Text productVersion;
    Text specialBuild;

    bool operator==(const VersionInfo&) const = default;
};

// Reads the version strings of an executable: a Windows executable's
// version resource, or the version section of an ELF file. Never fails: a missing file, a
// file that is no executable or is damaged, a resource without translation
// table all give twelve empty texts.
VersionInfo ReadVersionInfo(const std::filesystem::path& path);
VersionInfo ReadVersionInfo(const Text& path);
// The same for an executable already opened (or held in memory); nullopt
// stands for a file that could not be opened as one.
VersionInfo ReadVersionInfo(const std::optional<PeFile>& file);
// The strings of a version block (the layout of a Windows version resource,
// wherever it was found).
VersionInfo VersionInfoFromBlock(std::string_view block);

// The string table key of a translation entry: language 0x0804 with code page
// 0x04B0 (the little-endian value 0x04B00804) gives "080404B0".
Text TranslationKey(std::uint32_t translation);

// Status of an entry from its installed and latest version: 0 when nothing
// is installed, 1 when the latest is newer, else 2. The installed version
// decides how many dotted parts count; parts compare by their leading digits.
int CompareVersions(const Text& installed, const Text& latest);

}  // namespace box
