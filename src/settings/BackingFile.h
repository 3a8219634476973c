#pragma once
// Where a settings store mirrors its text: the INI file itself or a file in
// memory. Offsets are 0-based. Every operation reports whether it succeeded
// so the store can notice when the file no longer equals its memory copy.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace box {

class BackingFile {
public:
    virtual ~BackingFile() = default;

    virtual std::optional<std::size_t> size() const = 0;
    virtual std::optional<std::string> readAll() const = 0;

    // Inserts bytes at offset, moving the rest towards the end.
    virtual bool insert(std::size_t offset, std::string_view bytes) = 0;
    // Removes count bytes at offset, moving the rest towards the start.
    virtual bool erase(std::size_t offset, std::size_t count) = 0;
    // Replaces count bytes at offset by bytes (the rest moves once).
    virtual bool replace(std::size_t offset, std::size_t count, std::string_view bytes) = 0;
    // Makes the file hold exactly these bytes.
    virtual bool rewrite(std::string_view bytes) = 0;

    // True when this is the file at path on disk.
    virtual bool isFile(const std::filesystem::path& path) const = 0;

    // What another program did to the file since it last held `expected`.
    enum class OutsideChange {
        kNone,
        kRewritten,  // still the file at path, holding other bytes
        kDetached,   // deleted, or no longer the file at path (replaced by a rename)
    };
    // A file in memory belongs to its store alone.
    virtual OutsideChange outsideChange(const std::filesystem::path& /*path*/,
                                        std::string_view /*expected*/) const {
        return OutsideChange::kNone;
    }
};

}  // namespace box
