#include "platform/DesktopLauncher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "support/FileText.h"

namespace box {

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// One Exec word: quoted when it holds a character the desktop would read as
// something else; '%' doubled, as a lone one starts a field code.
std::string QuoteExecWord(const std::string& word) {
    const bool quote = word.empty() || word.find_first_of(kReserved) != std::string::npos;
    std::string out;
    if (quote) out += '"';
    for (const char c : word) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
    }
    if (quote) out += '"';
    return out;
}

// Values are unescaped once as key-file strings before the Exec quoting is
// read, so a backslash of the quoting has to be written twice.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::string DesktopExecLine(const std::filesystem::path& target, const std::string& argumentsUtf8) {
    std::string line = QuoteExecWord(target.native());
    for (const auto& word : SplitArguments(argumentsUtf8)) line += ' ' + QuoteExecWord(word);
    return line;
}

bool WriteDesktopLauncher(const std::filesystem::path& file, const std::string& nameUtf8,
                          const std::filesystem::path& target, const std::string& argumentsUtf8) {
    if (nameUtf8.empty() || !target.is_absolute()) return false;
    const std::string text =
        "[Desktop Entry]\n"
        "Version=1.0\n"
        "Type=Application\n"
        "Name=" +
        EscapeValue(nameUtf8) +
        "\n"
        "Exec=" +
        EscapeValue(DesktopExecLine(target, argumentsUtf8)) +
        "\n"
        "Terminal=false\n";
    if (!WriteFileBytes(file, text)) return false;
    // Through a descriptor opened without following links: the name could
    // have been swapped for a link since the write, and chmod would follow it.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fchmod(fd, 0755) == 0;
    ::close(fd);
    return ok;
}

}  // namespace box
