#pragma once
// Windows shortcut files (.lnk), written and read in the Shell Link binary
// format, so the box's shortcuts open in Windows' shell and shortcuts made by
// Windows read back here.
//
// Paths are box texts (GBK). The box writes links with Unicode strings and,
// where the target has non-ASCII characters, a Unicode copy of the local path,
// so a link reads the same on a system with another code page.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HotKey.h"
#include "support/Text.h"

namespace box {

// Window styles a shortcut can start its target with.
enum ShortcutWindowStyle : int {
    kShowNormal = 1,
    kShowMaximized = 3,
    kShowMinNoActive = 7,
};

// Properties of a shortcut besides its target; each is written only when set.
struct ShortcutOptions {
    std::optional<Text> workingDirectory;
    std::optional<Text> description;
    std::optional<Text> arguments;
    std::optional<Text> iconLocation;  // "file,index" or "file"
    std::optional<Text> hotKey;        // "Ctrl+Alt+F"
    std::optional<int> windowStyle;    // 1, 3 or 7; anything else starts normal
};

// What a shortcut file holds, as far as the box cares.
struct ShortcutInfo {
    Text target;  // "" when the link names no file-system target
    Text workingDirectory;
    Text description;
    Text arguments;
    Text relativePath;
    Text iconLocation;         // "file,index"; "" when the link has no icon
    std::uint16_t hotKey = 0;  // virtual key in the low byte, modifiers in the high byte
    int windowStyle = kShowNormal;
};

// Appends ".lnk" to lnkPath unless its last 4 characters, lower-cased, are
// ".lnk"; then writes the shortcut whole, replacing an existing one. Returns
// whether the file was written (callers of the box ignore it).
bool CreateShortcutFile(Text& lnkPath, const Text& target, const ShortcutOptions& options = {});
// The same at an exact file-system path, which is taken as it is.
bool CreateShortcutFile(const std::filesystem::path& lnkFile, const Text& target,
                        const ShortcutOptions& options = {});

// The shortcut's target path, or "" when lnkPath does not contain ".lnk"
// (case-sensitive), the file is missing, or it is no well-formed shortcut.
Text ReadShortcutTarget(const Text& lnkPath);
Text ReadShortcutTarget(const std::filesystem::path& lnkFile);

// The bytes of a shortcut file at lnkPath (the location decides the relative
// path stored in it); nullopt when a property cannot be stored.
std::optional<std::string> BuildShortcutBytes(const Text& lnkPath, const Text& target,
                                              const ShortcutOptions& options);

// Parses shortcut bytes; nullopt when they are not a complete, well-formed
// shortcut. The target comes from the LinkInfo, else from the item ID list's
// file-system path, else from the relative path resolved against lnkFolder.
std::optional<ShortcutInfo> ParseShortcut(std::string_view bytes, const Text& lnkFolder);

}  // namespace box
