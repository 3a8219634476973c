#pragma once
// Shortcuts the box puts on the user's desktop: the Windows shortcut file,
// and beside it a freedesktop launcher of the same base name, because a
// Linux desktop does nothing with a double-clicked ".lnk".

#include <filesystem>

#include "support/Text.h"

namespace box {

// Writes desktopFolder / (baseName + ".lnk") with the target's GBK text and
// arguments, and desktopFolder / (baseName + ".desktop") running the exact
// target with the same arguments. Each file replaces one of that name.
// Returns whether the shortcut file was written; callers of the box ignore
// it, as they ignore a launcher that could not be written.
bool PutShortcutOnDesktop(const std::filesystem::path& desktopFolder, const Text& baseName,
                          const std::filesystem::path& target, const Text& arguments = {});

}  // namespace box
