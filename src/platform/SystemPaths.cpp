#include "platform/SystemPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "support/FileText.h"

namespace box {

namespace {

void SkipBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

bool Consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// The folder that one line of user-dirs.dirs sets XDG_DESKTOP_DIR to. The
// file is written by xdg-user-dirs-update and read as a shell script, but
// only two forms are promised: "$HOME/relative" and "/absolute", with shell
// escapes inside the quotes. nullopt for every other line.
std::optional<std::filesystem::path> DesktopLine(std::string_view line,
                                                 const std::filesystem::path& home) {
    SkipBlanks(line);
    if (!Consume(line, "XDG_DESKTOP_DIR")) return std::nullopt;
    SkipBlanks(line);
    if (!Consume(line, "=")) return std::nullopt;
    SkipBlanks(line);
    if (!Consume(line, "\"")) return std::nullopt;
    const bool relative = Consume(line, "$HOME");
    if (relative) {
        // "$HOMEWARD" would be some other variable.
        if (!Consume(line, "/") && !line.starts_with('"')) return std::nullopt;
    } else if (!line.starts_with('/')) {
        return std::nullopt;
    }
    std::string value;
    for (std::size_t i = 0;; ++i) {
        if (i >= line.size()) return std::nullopt;  // no closing quote
        if (line[i] == '"') break;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
    }
    if (!relative) return std::filesystem::path(value);
    if (home.empty()) return std::nullopt;
    return value.empty() ? home : home / value;
}

std::optional<std::filesystem::path> UserDirsDesktop(const std::filesystem::path& file,
                                                     const std::filesystem::path& home) {
    // A small file of the user's own; anything but a regular file is skipped.
    constexpr std::size_t kMaxSize = 64 * 1024;
    const std::optional<std::string> text = ReadFileBytes(file, kMaxSize);
    if (!text) return std::nullopt;
    std::optional<std::filesystem::path> found;
    for (std::size_t start = 0; start < text->size();) {
        std::size_t end = std::min(text->find('\n', start), text->size());
        // A later line wins, as in the shell that reads the file.
        if (auto desktop = DesktopLine(std::string_view(*text).substr(start, end - start), home))
            found = std::move(desktop);
        start = end + 1;
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
