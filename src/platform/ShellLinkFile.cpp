#include <filesystem>

#include "platform/ShellLink.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

// Larger files are no shortcuts of ours or anyone's.
constexpr std::uintmax_t kMaxShortcutBytes = 4 << 20;

}  // namespace

bool CreateShortcutFile(Text& lnkPath, const Text& target, const ShortcutOptions& options) {
    if (lnkPath.size() < 4 || AsciiLower(lnkPath.substr(lnkPath.size() - 4)) != ".lnk")
        lnkPath += ".lnk";
    std::optional<std::string> bytes = BuildShortcutBytes(lnkPath, target, options);
    return bytes && WriteFileBytes(lnkPath, *bytes);
}

bool CreateShortcutFile(const std::filesystem::path& lnkFile, const Text& target,
                        const ShortcutOptions& options) {
    std::optional<std::string> bytes = BuildShortcutBytes(FromFsPath(lnkFile), target, options);
    return bytes && WriteFileBytes(lnkFile, *bytes);
}

namespace {

Text ReadTarget(const std::filesystem::path& lnkFile, const Text& lnkFolder) {
    // Shortcuts are a few kilobytes; a huge file by that name is not read whole.
    std::optional<std::string> bytes = ReadFileBytes(lnkFile, kMaxShortcutBytes);
    if (!bytes) return {};
    std::optional<ShortcutInfo> info = ParseShortcut(*bytes, lnkFolder);
    return info ? info->target : Text();
}

}  // namespace

Text ReadShortcutTarget(const Text& lnkPath) {
    if (lnkPath.find(".lnk") == Text::npos) return {};
    return ReadTarget(FsPath(lnkPath), FolderPart(lnkPath));
}

Text ReadShortcutTarget(const std::filesystem::path& lnkFile) {
    if (lnkFile.native().find(".lnk") == std::string::npos) return {};
    return ReadTarget(lnkFile, FromFsPath(lnkFile.parent_path()));
}

}  // namespace box
