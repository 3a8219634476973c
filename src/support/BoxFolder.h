#pragma once
// The box folder (directory of the running executable) and the mapping of the
// box's GBK paths to file-system paths.
//
// Inside the box, paths are GBK text built the way the box always builds them:
// folder + "\" + name. On this platform a "\" is a folder separator, and the
// name is UTF-8 on disk.

#include <filesystem>

#include "support/Text.h"

namespace box {

// GBK path -> file-system path: GBK decoded to UTF-8, every "\" turned into "/".
std::filesystem::path FsPath(const Text& gbkPath);

// File-system path -> GBK text (characters GBK lacks become '?').
Text FromFsPath(const std::filesystem::path& path);

// Folder + "\" + name, the box's way of joining.
Text JoinPath(const Text& folder, const Text& name);

// Text after the last "\" or "/" (GBK aware: a trail byte 0x5C is no separator).
Text FileNamePart(const Text& path);
// Text before the last "\" or "/", or "" when there is none.
Text FolderPart(const Text& path);

// The directory of the running executable, without trailing separator, and the
// executable's file name. Both as GBK text.
Text ExecutableFolder();
Text ExecutableName();

}  // namespace box
