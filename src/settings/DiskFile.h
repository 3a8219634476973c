#pragma once
// The INI file on disk, open for reading and writing and edited in place.
//
// While it is open, the file carries a write lock on its open file
// description: another store, in this process or another one, cannot open it
// for writing, but anyone may read it.

#include <memory>

#include "settings/BackingFile.h"

namespace box {

class DiskFile : public BackingFile {
public:
    // Opens (creating when missing, never truncating) and locks the file.
    // Null when that fails; *lockConflict tells whether the lock was refused
    // because someone else holds it.
    static std::unique_ptr<DiskFile> Open(const std::filesystem::path& path,
                                          bool* lockConflict = nullptr);
    // True when someone holds a lock on the file at path.
    static bool IsLockedByOther(const std::filesystem::path& path);

    ~DiskFile() override;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    std::optional<std::size_t> size() const override;
    std::optional<std::string> readAll() const override;
    bool insert(std::size_t offset, std::string_view bytes) override;
    bool erase(std::size_t offset, std::size_t count) override;
    bool replace(std::size_t offset, std::size_t count, std::string_view bytes) override;
    bool rewrite(std::string_view bytes) override;
    bool isFile(const std::filesystem::path& path) const override;
    OutsideChange outsideChange(const std::filesystem::path& path,
                                std::string_view expected) const override;

    // Bytes moved per step when the rest of the file shifts.
    static constexpr std::size_t kBlockSize = 4096;

private:
    explicit DiskFile(int fd) : fd_(fd) {}
    bool moveTail(std::size_t from, std::size_t end, std::size_t to);
    bool writeAt(std::size_t offset, std::string_view bytes);
    bool grow(std::size_t size, std::size_t extra);

    int fd_;
};

}  // namespace box
