#pragma once
// Writes small but valid Windows executables (PE32 or PE32+) with a version
// resource and an icon group, so tests never need binaries from elsewhere.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/BitmapObject.h"

namespace box::test {

struct PeVersion {
    // Entries of "\VarFileInfo\Translation": language, code page.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations{{0x0804, 0x04B0}};
    bool withVarFileInfo = true;
    // Key of the string table; empty: the one the first translation names.
    std::string tableKey;
    // Name and value, both UTF-8.
    std::vector<std::pair<std::string, std::string>> strings;
};

enum class IconFormat {
    kDib32,          // BGRA with alpha, plus AND mask
    kDib32MaskOnly,  // 32-bit without alpha: the AND mask alone decides
    kDib24,          // AND mask for transparency
    kDib8,           // palette, AND mask
    kDib4,
    kPng,
};

struct PeIcon {
    IconPicture picture;
    IconFormat format = IconFormat::kDib32;
};

struct PeLayout {
    bool pe64 = false;
    std::optional<PeVersion> version;
    std::vector<PeIcon> icons;  // one icon group, images in this order
};

// A layout with a version resource whose FileVersion is fileVersion.
PeLayout ProgramLayout(const std::string& fileVersion, bool pe64 = false);

std::string BuildPe(const PeLayout& layout);
// The version block alone, as a version resource holds it.
std::string BuildVersionBlock(const PeVersion& version);
bool WriteFile(const std::filesystem::path& path, const std::string& bytes);
bool WritePe(const std::filesystem::path& path, const PeLayout& layout);
// Writes boxFolder/name/name.exe (name in UTF-8), creating the folder.
bool InstallProgram(const std::filesystem::path& boxFolder, const std::string& name,
                    const PeLayout& layout);

// One image of an icon resource in the given format.
std::string EncodeIconImage(const IconPicture& picture, IconFormat format);

// A width x height picture of one colour (0xAARRGGBB).
IconPicture SolidPicture(int width, int height, std::uint32_t argb);

// A 4 x 4 picture: left half opaque red, right half transparent, one
// nearly half-transparent blue pixel.
IconPicture HalfTransparent();

}  // namespace box::test
