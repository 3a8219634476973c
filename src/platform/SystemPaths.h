#pragma once
// Folders the operating system decides: where the running executable lies,
// the user's home, per-user configuration and desktop folders.

#include <filesystem>

#include "platform/Environment.h"

namespace box {

// The running executable, exactly as the file system has it; when the
// system cannot tell, "softbox" in the current folder.
std::filesystem::path ExecutablePath();

// $HOME, else the home folder of the user database; "" when neither has one.
std::filesystem::path HomeFolder(const Environment& environment);

// The per-user configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else ~/.config; "" without a home folder.
std::filesystem::path UserConfigFolder(const Environment& environment);

// The user's desktop: XDG_DESKTOP_DIR of user-dirs.dirs in the configuration
// folder (the file xdg-user-dir reads), else ~/Desktop; "" without a home
// folder. The folder need not exist.
std::filesystem::path DesktopFolder(const Environment& environment);

}  // namespace box
