#pragma once
// Freedesktop launchers (.desktop files): what a Linux desktop starts on a
// double-click, where a Windows shortcut does nothing.

#include <filesystem>
#include <string>
#include <vector>

namespace box {

// Splits a Windows-style argument text into words: blanks separate words,
// double quotes group blanks into a word and are dropped.
std::vector<std::string> SplitArguments(const std::string& arguments);

// The Exec value that runs target with the words of argumentsUtf8, each
// quoted as the desktop needs it, before the key-file escaping of values.
std::string DesktopExecLine(const std::filesystem::path& target, const std::string& argumentsUtf8);

// Writes file as an application launcher named nameUtf8 that runs target
// (an absolute path) with the words of argumentsUtf8, replacing the file
// whole, and makes it executable, which desktops ask of a launcher before
// they run it. Returns false when nothing usable was written.
bool WriteDesktopLauncher(const std::filesystem::path& file, const std::string& nameUtf8,
                          const std::filesystem::path& target, const std::string& argumentsUtf8);

}  // namespace box
