#include "catalog/InstalledProgram.h"

#include "catalog/VersionInfo.h"
#include "support/BoxFolder.h"

namespace box {

std::filesystem::path ProgramExecutablePath(const std::filesystem::path& boxFolder,
                                            const Text& name) {
    return JoinPath(boxFolder, JoinPath(name, name + ".exe"));
}

std::filesystem::path RefreshEntryStatus(CatalogEntry& entry,
                                         const std::filesystem::path& boxFolder) {
    std::filesystem::path exe = ProgramExecutablePath(boxFolder, entry.name);
    entry.installedVersion = ReadVersionInfo(exe).fileVersion;
    entry.status = CompareVersions(entry.installedVersion, entry.latestVersion);
    return exe;
}

ProgramFolders::ProgramFolders(const std::filesystem::path& boxFolder) {
    std::error_code ec;
    std::filesystem::directory_iterator it(boxFolder, ec);
    if (ec) return;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return;
        names_.insert(it->path().filename().native());
    }
    if (ec) return;
    listed_ = true;
}

bool ProgramFolders::mayHold(const Text& name) const {
    return !listed_ || names_.count(FsPath(name).native()) != 0;
}

std::filesystem::path RefreshEntryStatus(CatalogEntry& entry,
                                         const std::filesystem::path& boxFolder,
                                         const ProgramFolders& folders) {
    if (folders.mayHold(entry.name)) return RefreshEntryStatus(entry, boxFolder);
    entry.installedVersion.clear();
    entry.status = CompareVersions(entry.installedVersion, entry.latestVersion);
    return ProgramExecutablePath(boxFolder, entry.name);
}

}  // namespace box
