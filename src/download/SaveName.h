#pragma once
// Where a download goes when a file of its name is already there: the name
// before its first "." gets a number in brackets, "a v1.2.rar" becoming
// "a v1(1).2.rar", then "a v1(2).2.rar", and so on below 100.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace box {

// The name after fileName in that sequence; nullopt once the number would
// reach 100.
std::optional<std::string> NextSaveName(std::string_view fileName);

// Creates wanted, or the first free name of the sequence (at most 99 tries),
// exclusively and never through a link. Returns the open descriptor (-1 when
// none could be made) and the path used.
int CreateSaveFile(const std::filesystem::path& wanted, std::filesystem::path& used);

}  // namespace box
