#include "settings/MemoryFile.h"

#include <algorithm>

namespace box {

bool MemoryFile::insert(std::size_t offset, std::string_view bytes) {
    bytes_.insert(std::min(offset, bytes_.size()), bytes);
    return true;
}

bool MemoryFile::erase(std::size_t offset, std::size_t count) {
    if (offset < bytes_.size()) bytes_.erase(offset, count);
    return true;
}

bool MemoryFile::replace(std::size_t offset, std::size_t count, std::string_view bytes) {
    offset = std::min(offset, bytes_.size());
    bytes_.replace(offset, count, bytes);
    return true;
}

bool MemoryFile::rewrite(std::string_view bytes) {
    bytes_.assign(bytes);
    return true;
}

}  // namespace box
