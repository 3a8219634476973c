#pragma once
// Opening a file or an address with the desktop's default handler.

#include <string>

namespace box {

// The program that hands a file or an address to the desktop's handler for
// it; tests put a recording script in its place.
struct ShellLauncher {
    std::string program = "xdg-open";
};

// Starts the launcher with urlOrUtf8Path as its one argument, passed as it is
// with no shell in between, and returns without waiting for it. The launcher
// is reaped in the background, so none is left behind as a zombie. Returns
// false when the text is empty or the launcher cannot be started.
bool OpenInShell(const std::string& urlOrUtf8Path, const ShellLauncher& launcher = {});

}  // namespace box
