#pragma once
// The SHA-256 of a downloaded package, for the catalog's "校验".

#include <filesystem>
#include <string>

namespace box {

// Lower-case hex SHA-256 of the file's bytes; "" when it cannot be read.
std::string FileSha256(const std::filesystem::path& file);

}  // namespace box
