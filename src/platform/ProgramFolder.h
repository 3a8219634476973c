#pragma once
// Removal of a program's folder inside the box folder.
//
// A downloaded archive can leave symbolic links in a program's folder that
// point anywhere on the system; removing the folder removes those links and
// never what they point to.

#include <filesystem>

namespace box {

// Removes programFolder and everything under it, without following any
// symbolic link: a link is removed, not its target, and when programFolder
// itself is a link only the link goes. Refuses, removing nothing, when the
// folder is boxFolder itself, lies outside it, does not exist, or its parent
// folder cannot be written. Returns false when anything could not be removed.
bool RemoveProgramFolder(const std::filesystem::path& boxFolder,
                         const std::filesystem::path& programFolder);

}  // namespace box
