#pragma once
// The mapping of the box's GBK paths to file-system paths, and names joined
// onto the box folder (the directory of the running executable).
//
// Inside the box, paths are GBK text built the way the box always builds them:
// folder + "\" + name. On this platform a "\" is a folder separator, and the
// name is UTF-8 on disk.
//
// The box folder itself is kept as the exact file-system path: its name may
// hold characters that GBK lacks (a user name in Hangul, an emoji), and a
// path rebuilt from its GBK text would name another, missing folder. Only
// GBK names (program names, the box's fixed file names) are joined onto it,
// each converted on its own.

#include <filesystem>

#include "support/Text.h"

namespace box {

// GBK path -> file-system path: GBK decoded to UTF-8, every "\" turned into "/".
std::filesystem::path FsPath(const Text& gbkPath);

// File-system path -> GBK text (characters GBK lacks become '?'): for the
// eye, and for places that can hold nothing but GBK text. Never a path to
// open again.
Text FromFsPath(const std::filesystem::path& path);

// Folder + "\" + name, the box's way of joining.
Text JoinPath(const Text& folder, const Text& name);
// The same onto an exact folder: the GBK name is converted alone, and stays
// inside the folder even when it starts with a separator.
std::filesystem::path JoinPath(const std::filesystem::path& folder, const Text& name);

// Text after the last "\" or "/" (GBK aware: a trail byte 0x5C is no separator).
Text FileNamePart(const Text& path);
// Text before the last "\" or "/", or "" when there is none.
Text FolderPart(const Text& path);

}  // namespace box
