#include "catalog/VersionInfo.h"

#include <cstdio>

#include "platform/ElfSections.h"
#include "support/BoxFolder.h"
#include "support/ByteOrder.h"

namespace box {

namespace {

// Leading decimal digits of a version part; none gives 0. Parts too long for
// an int saturate rather than wrap, so a huge part still compares as huge.
long long PartValue(const Text& part) {
    long long value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') break;
        if (value < 1000000000000000LL) value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

Text TranslationKey(std::uint32_t translation) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", translation);
    const Text padded(hex);
    return padded.substr(4, 4) + padded.substr(0, 4);
}

VersionInfo ReadVersionInfo(const std::filesystem::path& path) {
    if (auto pe = PeFile::Open(path)) return ReadVersionInfo(pe);
    // The box itself on Linux: an ELF file that keeps its block in a section.
    if (const auto block = ReadElfSection(path, kVersionSectionName)) {
        return VersionInfoFromBlock(*block);
    }
    return {};
}

VersionInfo ReadVersionInfo(const Text& path) {
    return ReadVersionInfo(FsPath(path));
}

VersionInfo ReadVersionInfo(const std::optional<PeFile>& file) {
    if (!file) return {};
    const auto block = file->versionBlock();
    if (!block) return {};
    return VersionInfoFromBlock(*block);
}

VersionInfo VersionInfoFromBlock(std::string_view block) {
    VersionInfo info;
    const auto translation = QueryVersionValue(block, "\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4) return info;
    const std::uint32_t first = Le32At(*translation, 0);
    const Text table = "\\StringFileInfo\\" + TranslationKey(first) + "\\";
    static constexpr struct {
        const char* name;
        Text VersionInfo::*field;
    } kStrings[] = {
        {"Comments", &VersionInfo::comments},
        {"CompanyName", &VersionInfo::companyName},
        {"FileDescription", &VersionInfo::fileDescription},
        {"FileVersion", &VersionInfo::fileVersion},
        {"InternalName", &VersionInfo::internalName},
        {"LegalCopyright", &VersionInfo::legalCopyright},
        {"LegalTrademarks", &VersionInfo::legalTrademarks},
        {"OriginalFilename", &VersionInfo::originalFilename},
        {"PrivateBuild", &VersionInfo::privateBuild},
        {"ProductName", &VersionInfo::productName},
        {"ProductVersion", &VersionInfo::productVersion},
        {"SpecialBuild", &VersionInfo::specialBuild},
    };
    for (const auto& s : kStrings) {
        if (auto value = QueryVersionValue(block, table + s.name); value && !value->empty()) {
            info.*s.field = std::move(*value);
        }
    }
    return info;
}

int CompareVersions(const Text& installed, const Text& latest) {
    if (installed.empty()) return kNotDownloaded;
    const std::vector<Text> mine = Split(installed, ".");
    std::vector<Text> theirs = Split(latest, ".");
    theirs.resize(mine.size());
    for (std::size_t k = 0; k < mine.size(); ++k) {
        const long long a = PartValue(mine[k]);
        const long long b = PartValue(theirs[k]);
        if (b > a) return kUpdateAvailable;
        if (b < a) return kUpToDate;
    }
    return kUpToDate;
}

}  // namespace box
