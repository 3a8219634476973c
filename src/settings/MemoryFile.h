#pragma once
// A backing file that lives in memory only.

#include "settings/BackingFile.h"

namespace box {

class MemoryFile : public BackingFile {
public:
    explicit MemoryFile(std::string bytes = {}) : bytes_(std::move(bytes)) {}

    std::optional<std::size_t> size() const override { return bytes_.size(); }
    std::optional<std::string> readAll() const override { return bytes_; }
    bool insert(std::size_t offset, std::string_view bytes) override;
    bool erase(std::size_t offset, std::size_t count) override;
    bool replace(std::size_t offset, std::size_t count, std::string_view bytes) override;
    bool rewrite(std::string_view bytes) override;
    bool isFile(const std::filesystem::path&) const override { return false; }

private:
    std::string bytes_;
};

}  // namespace box
