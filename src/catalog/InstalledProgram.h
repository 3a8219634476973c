#pragma once
// Where an entry's program lives in the box folder, and what its installed
// executable says about the entry.

#include <filesystem>
#include <string>
#include <unordered_set>

#include "catalog/CatalogEntry.h"

namespace box {

// Where a program lives: box folder \ name \ name.exe.
std::filesystem::path ProgramExecutablePath(const std::filesystem::path& boxFolder,
                                            const Text& name);

// Reads the entry's executable and sets installedVersion (its FileVersion, or
// empty) and status from it. Returns the executable's path.
std::filesystem::path RefreshEntryStatus(CatalogEntry& entry,
                                         const std::filesystem::path& boxFolder);

// The entries of the box folder, read once. A program whose folder is not
// among them has no executable to read: asking the file system for each of
// the hundreds of programs that are not installed held up the list.
class ProgramFolders {
public:
    explicit ProgramFolders(const std::filesystem::path& boxFolder);
    // False only when the folder was read and has no entry of that name.
    bool mayHold(const Text& name) const;

private:
    bool listed_ = false;
    std::unordered_set<std::string> names_;  // as the file system names them
};

// RefreshEntryStatus, without a look at the disk for a program whose folder
// the box folder did not have.
std::filesystem::path RefreshEntryStatus(CatalogEntry& entry,
                                         const std::filesystem::path& boxFolder,
                                         const ProgramFolders& folders);

}  // namespace box
