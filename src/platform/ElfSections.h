#pragma once
// Sections of ELF files (32- and 64-bit, either byte order), read straight
// from the file. The box keeps its own version block in one of them, since an
// ELF executable has no resources of the kind a Windows executable carries.
//
// Everything read from the file is checked against the file's size before it
// is used; a file that is not ELF, or is cut short or damaged, simply has no
// sections.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace box {

// The section that holds the box's version block (in the layout of a Windows
// version resource).
inline constexpr std::string_view kVersionSectionName = ".softbox_version";

// Sections larger than this are never handed out: the callers want small
// blocks, and a damaged size must not make them allocate gigabytes.
inline constexpr std::size_t kMaxElfSectionBytes = 1 << 20;

// Whether bytes start like an ELF file.
bool LooksLikeElf(std::string_view head);

// The contents of the first section called name; nullopt when the file is no
// readable ELF file, has no such section, the section holds no bytes in the
// file, or it is larger than kMaxElfSectionBytes.
std::optional<std::string> ReadElfSection(const std::filesystem::path& file, std::string_view name);
std::optional<std::string> ElfSectionFromBytes(std::string_view bytes, std::string_view name);

}  // namespace box
