#pragma once
// Resources of Windows executables (PE32 and PE32+), read straight from the
// file: the version resource and the icons the shell shows for the file.
//
// Everything read from the file is checked against the file's size before it
// is used; a file that is not such an executable, or is cut short or damaged,
// simply has no resources.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

// Resource types the box looks at.
inline constexpr std::uint16_t kResourceIcon = 3;
inline constexpr std::uint16_t kResourceGroupIcon = 14;
inline constexpr std::uint16_t kResourceVersion = 16;

// One image of an icon group, as its directory describes it.
struct IconDirEntry {
    int width = 0;  // 256 where the directory says 0
    int height = 0;
    int bitCount = 0;
    std::uint16_t id = 0;  // name of its icon resource
};

class PeFile {
public:
    // Nullopt when the file cannot be read or is no well-formed executable.
    static std::optional<PeFile> Open(const std::filesystem::path& path);
    static std::optional<PeFile> Open(const Text& gbkPath);
    static std::optional<PeFile> FromBytes(std::string bytes);

    PeFile(PeFile&&) noexcept;
    PeFile& operator=(PeFile&&) noexcept;
    ~PeFile();

    bool is64Bit() const { return pe64_; }

    // Data of a resource of the given type: the one named id, or with id
    // unset the first one in the directory; of that, the first language.
    std::optional<std::string> resource(std::uint16_t type,
                                        std::optional<std::uint16_t> id = std::nullopt) const;

    // The version resource (what GetFileVersionInfo hands out).
    std::optional<std::string> versionBlock() const;

    // The images of the first icon group, the icon the shell shows.
    std::vector<IconDirEntry> iconGroup() const;
    // Data (DIB or PNG) of the image of the first icon group that suits
    // width x height best.
    std::optional<std::string> iconImage(int width, int height) const;

private:
    struct Source;
    struct Section {
        std::uint32_t virtualAddress;
        std::uint32_t rawSize;
        std::uint32_t rawOffset;
    };
    PeFile() = default;
    bool parseHeaders();
    bool readAt(std::uint64_t offset, std::size_t size, std::string& out) const;
    bool readRva(std::uint32_t rva, std::size_t size, std::string& out) const;
    std::optional<std::uint32_t> findEntry(std::uint32_t directory,
                                           std::optional<std::uint16_t> id) const;

    std::unique_ptr<Source> source_;
    bool pe64_ = false;
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;
    std::uint32_t resourceSize_ = 0;
};

// Among the images of an icon group, the index of the one that suits
// width x height best: the same size, else the nearest larger (it scales down
// cleanly), else the nearest smaller; among equals the most colours. -1 when
// the list is empty.
int ChooseIconImage(const std::vector<IconDirEntry>& images, int width, int height);

// VerQueryValue over a version block. "\VarFileInfo\Translation" (and any
// other binary value) gives the raw value bytes; a string such as
// "\StringFileInfo\080404B0\FileVersion" gives the text in GBK, up to its
// first zero. Keys compare without regard to ASCII case. Nullopt when the
// path leads nowhere or the block is damaged.
std::optional<std::string> QueryVersionValue(std::string_view block, std::string_view subBlock);

}  // namespace box
