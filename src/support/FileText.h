#pragma once
// Whole-file reads and writes, of box paths (GBK text) and of exact
// file-system paths.
//
// ReadFileBytes is the box's one whole-file reader: every whole-file read
// goes through it, so that a FIFO or a device planted under a file's name
// can neither hang the window nor feed it bytes without end.

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "support/Text.h"

namespace box {

inline constexpr std::size_t kAnyFileSize = std::numeric_limits<std::size_t>::max();

// Raw bytes of a regular file; nullopt when it is missing or unreadable, is
// no regular file (a FIFO, a device or a folder is never opened for reading
// in a way that can block), or holds more than maxBytes.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path,
                                         std::size_t maxBytes = kAnyFileSize);
std::optional<std::string> ReadFileBytes(const Text& path, std::size_t maxBytes = kAnyFileSize);

// The file's bytes up to the first zero byte; def when the file is missing,
// unreadable or empty.
Text ReadFileText(const std::filesystem::path& path, const Text& def = {});
Text ReadFileText(const Text& path, const Text& def = {});

// Writes bytes as the whole file. They go to a new file of a unique name in
// the same folder (created exclusively, never through a link), are synced,
// and replace the target by a rename; the folder is synced after it. So the
// target holds the old bytes or the new ones, never a mix, also after a
// crash or with a second box writing at the same time, and a link planted in
// the folder is never written through. Nothing is left behind on failure.
bool WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);
bool WriteFileBytes(const Text& path, std::string_view bytes);

// With append false, or when the file does not exist, writes text as the whole
// file; otherwise appends to the regular file (not through a link). Returns
// success.
bool WriteFileText(const std::filesystem::path& path, const Text& text, bool append = false);
bool WriteFileText(const Text& path, const Text& text, bool append = false);

bool FileExists(const std::filesystem::path& path);
bool FileExists(const Text& path);
bool DeleteFile(const std::filesystem::path& path);
bool DeleteFile(const Text& path);

}  // namespace box
