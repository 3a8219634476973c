#include "platform/SystemPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string>

#include "support/FileText.h"

namespace box {

namespace {

// The value of XDG_DESKTOP_DIR in user-dirs.dirs. The file is written by
// xdg-user-dirs-update and read as a shell script, but only two forms are
// promised: "$HOME/relative" and "/absolute", with shell escapes inside the
// quotes.
std::optional<std::filesystem::path> UserDirsDesktop(const std::filesystem::path& file,
                                                     const std::filesystem::path& home) {
    // A small file of the user's own; anything but a regular file is skipped.
    constexpr std::size_t kMaxSize = 64 * 1024;
    const std::optional<std::string> text = ReadFileBytes(file, kMaxSize);
    if (!text) return std::nullopt;
    std::optional<std::filesystem::path> found;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        const std::string_view line = std::string_view(*text).substr(start, end - start);
        start = end + 1;
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos) continue;
        std::string_view rest = line.substr(at);
        constexpr std::string_view kKey = "XDG_DESKTOP_DIR";
        if (rest.substr(0, kKey.size()) != kKey) continue;
        rest.remove_prefix(kKey.size());
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '=') continue;
        rest.remove_prefix(1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '"') continue;
        rest.remove_prefix(1);

        bool relative = false;
        if (rest.substr(0, 5) == "$HOME") {
            rest.remove_prefix(5);
            if (!rest.empty() && rest.front() == '/') {
                rest.remove_prefix(1);
            } else if (rest.empty() || rest.front() != '"') {
                continue;  // "$HOMEx": some other variable
            }
            relative = true;
        } else if (rest.empty() || rest.front() != '/') {
            continue;
        }
        std::string value;
        bool closed = false;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '"') {
                closed = true;
                break;
            }
            if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
            value += rest[i];
        }
        if (!closed) continue;
        if (!relative) {
            found = std::filesystem::path(value);
        } else if (home.empty()) {
            found = std::nullopt;
        } else {
            found = value.empty() ? home : home / value;
        }
        // A later line overrides an earlier one, as in the shell.
    }
    return found;
}

}  // namespace

std::filesystem::path ExecutablePath() {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return std::filesystem::current_path() / "softbox";
    return std::filesystem::path(std::string(buffer, static_cast<std::size_t>(n)));
}

std::filesystem::path ExecutableFolder() {
    return ExecutablePath().parent_path();
}

std::filesystem::path ExecutableName() {
    return ExecutablePath().filename();
}

std::filesystem::path HomeFolder(const Environment& environment) {
    std::string home = environment.Get("HOME");
    if (home.empty()) {
        struct passwd* pw = ::getpwuid(::getuid());
        if (pw && pw->pw_dir) home = pw->pw_dir;
    }
    return home;
}

std::filesystem::path UserConfigFolder(const Environment& environment) {
    std::string xdg = environment.Get("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') return xdg;
    std::filesystem::path home = HomeFolder(environment);
    if (home.empty()) return {};
    return home / ".config";
}

std::filesystem::path DesktopFolder(const Environment& environment) {
    const std::filesystem::path home = HomeFolder(environment);
    const std::filesystem::path config = UserConfigFolder(environment);
    if (!config.empty()) {
        if (auto desktop = UserDirsDesktop(config / "user-dirs.dirs", home)) return *desktop;
    }
    if (home.empty()) return {};
    return home / "Desktop";
}

}  // namespace box
