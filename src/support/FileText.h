#pragma once
// Whole-file reads and writes of GBK paths.

#include <optional>

#include "support/Text.h"

namespace box {

// The file's bytes up to the first zero byte; def when the file is missing,
// unreadable or empty.
Text ReadFileText(const Text& path, const Text& def = {});

// With append false, or when the file does not exist, writes text as the whole
// file; otherwise appends. Returns success.
bool WriteFileText(const Text& path, const Text& text, bool append = false);

// Raw bytes of a file; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const Text& path);

// Writes bytes as the whole file, through a temporary file in the same folder
// and a rename, so a failed write never leaves a half file behind.
bool WriteFileBytes(const Text& path, std::string_view bytes);

bool FileExists(const Text& path);
bool DeleteFile(const Text& path);

}  // namespace box
