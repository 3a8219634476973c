#pragma once
// Opening a file or an address with the desktop's default handler, showing a
// file in the file manager, and starting a program file.

#include <filesystem>
#include <string>
#include <vector>

namespace box {

// The programs these operations hand their work to; tests put recording
// scripts in their place.
struct ShellLauncher {
    // Hands a file or an address to the desktop's handler for it.
    std::string program = "xdg-open";
    // Calls a D-Bus method (the freedesktop file-manager interface).
    std::string dbusSend = "dbus-send";
    // Tells a file's type and the handler registered for a type.
    std::string mimeQuery = "xdg-mime";
    // Runs Windows executables, when it is on the PATH.
    std::string wine = "wine";
};

// Starts the launcher with urlOrUtf8Path as its one argument, passed as it is
// with no shell in between, and returns without waiting for it. The launcher
// is reaped in the background, so none is left behind as a zombie. Returns
// false when the text is empty or the launcher cannot be started.
bool OpenInShell(const std::string& urlOrUtf8Path, const ShellLauncher& launcher = {});

// Shows file selected in the user's file manager (ShowItems of
// org.freedesktop.FileManager1 on the session bus); when no file manager
// answers, opens the file's folder instead. Works in the background and
// returns at once; false only when file is empty.
bool ShowInFileManager(const std::filesystem::path& file, const ShellLauncher& launcher = {});

// Starts a program file: with the handler the desktop has for its type; a
// Windows executable for which the desktop has none goes to wine when wine is
// on the PATH. Works in the background and returns at once; false only when
// file is empty.
bool StartProgramFile(const std::filesystem::path& file, const ShellLauncher& launcher = {});

// Starts argv[0] (a path, or a name looked up in PATH) with the other words
// as its arguments, in a session of its own, and returns without waiting for
// it; it is reaped in the background. False when it cannot be started.
bool StartProgram(const std::vector<std::string>& argv);

// The file: URI of an absolute path, every byte outside the unreserved set
// and "/" percent-encoded (so commas and blanks survive any list syntax).
std::string FileUri(const std::filesystem::path& file);

// Whether program names a file that can be run: a path with a "/" is taken
// as it is, a bare name is looked up in the directories of path (a PATH value).
bool FindProgram(const std::string& program, const std::string& path);

}  // namespace box
