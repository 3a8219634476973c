#pragma once
// Where an entry's program lives in the box folder, and what its installed
// executable says about the entry.

#include <filesystem>

#include "catalog/CatalogEntry.h"

namespace box {

// Where a program lives: box folder \ name \ name.exe.
std::filesystem::path ProgramExecutablePath(const std::filesystem::path& boxFolder,
                                            const Text& name);

// Reads the entry's executable and sets installedVersion (its FileVersion, or
// empty) and status from it. Returns the executable's path.
std::filesystem::path RefreshEntryStatus(CatalogEntry& entry,
                                         const std::filesystem::path& boxFolder);

}  // namespace box
