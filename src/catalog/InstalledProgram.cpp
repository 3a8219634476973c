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

}  // namespace box
