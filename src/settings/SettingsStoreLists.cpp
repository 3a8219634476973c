// The listing operations. Each works on a copy of the text taken when it
// starts, because event handlers run between its lines may edit the store,
// and on its own copies of its filters. It fills a list of its own and hands
// it over at the end, so a handler that lists into the same vector meanwhile
// cannot mix its names into this listing.

#include <string_view>

#include "settings/SettingsStore.h"

namespace box {

namespace {

constexpr std::size_t npos = Text::npos;

// Calls f(line) for every line of text. Lines end at LF; a CR before it is
// not part of the line, so files with LF-only lines list the same.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == npos ? text.size() : end + 1;
        if (end == npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!f(line)) return;
        start = next;
    }
}

bool IsHeaderLine(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view HeaderName(std::string_view line) {
    std::size_t close = line.find(']', 1);
    return line.substr(1, close - 1);
}

bool PassesFilters(std::string_view text, const Text& mustContain, const Text& mustNotContain) {
    if (!mustContain.empty() && text.find(mustContain) == npos) return false;
    if (!mustNotContain.empty() && text.find(mustNotContain) != npos) return false;
    return true;
}

bool IsLineStart(const Text& t, std::size_t pos) {
    return pos <= 1 || (t[pos - 2] == '\r' && t[pos - 1] == '\n');
}

// The header that the line at pos belongs to, searched backwards: "[" at a
// line start (or second byte), a name without CR LF, "]" CR LF. Returns the
// position of the "[", or npos.
std::size_t HeaderBefore(const Text& t, std::size_t pos, std::string_view* name) {
    if (pos == 0) return npos;
    std::size_t close = t.rfind("]\r\n", pos - 1);
    while (close != npos) {
        for (std::size_t open = close; open > 0;) {
            open = t.rfind('[', open - 1);
            if (open == npos) break;
            std::string_view inside(t.data() + open + 1, close - open - 1);
            if (inside.find("\r\n") != npos) break;
            if (IsLineStart(t, open)) {
                *name = inside;
                return open;
            }
        }
        if (close == 0) break;
        close = t.rfind("]\r\n", close - 1);
    }
    return npos;
}

}  // namespace

int SettingsStore::listSections(std::vector<Text>& out, Text mustContain, Text mustNotContain) {
    out.clear();
    std::vector<Text> found;
    const Text text = memoryText_;
    ForEachLine(text, [&](std::string_view line) {
        pump_.ProcessPendingEvents();
        if (IsHeaderLine(line) && PassesFilters(line, mustContain, mustNotContain))
            found.emplace_back(HeaderName(line));
        return true;
    });
    out = std::move(found);
    return static_cast<int>(out.size());
}

int SettingsStore::listKeys(std::vector<Text>& out, Text keyMustContain, Text keyMustNotContain,
                            Text sectionRestriction, Text sectionMustContain,
                            Text sectionMustNotContain) {
    out.clear();
    std::vector<Text> found;
    const Text text = memoryText_;
    const bool restricted = !sectionRestriction.empty();
    const bool sectionFilters = !sectionMustContain.empty() || !sectionMustNotContain.empty();
    // Lines before the first header belong to no section: listed only when
    // nothing asks for a section.
    bool listing = !restricted && !sectionFilters;
    ForEachLine(text, [&](std::string_view line) {
        pump_.ProcessPendingEvents();
        if (IsHeaderLine(line)) {
            // A restricted listing ends with the one section it asked for.
            if (restricted && listing) return false;
            listing = PassesFilters(line, sectionMustContain, sectionMustNotContain) &&
                      (!restricted || HeaderName(line) == sectionRestriction);
            return true;
        }
        std::size_t eq = line.find('=');
        if (!listing || eq == npos) return true;
        std::string_view key = line.substr(0, eq);
        if (PassesFilters(key, keyMustContain, keyMustNotContain)) found.emplace_back(key);
        return true;
    });
    out = std::move(found);
    return static_cast<int>(out.size());
}

int SettingsStore::listSectionsWithKey(Text key, std::vector<Text>& out) {
    out.clear();
    std::vector<Text> found;
    const Text text = memoryText_;
    const Text needle = "\r\n" + key + "=";
    std::size_t previous = npos;
    for (std::size_t at = text.find(needle); at != npos; at = text.find(needle, at + 2)) {
        pump_.ProcessPendingEvents();
        std::string_view name;
        std::size_t header = HeaderBefore(text, at, &name);
        // A header before the previous occurrence means both lie in the same
        // section, which is listed already.
        bool sameSection = previous != npos && header != npos && header < previous;
        if (header != npos && !sameSection) found.emplace_back(name);
        previous = at;
    }
    out = std::move(found);
    return static_cast<int>(out.size());
}

int SettingsStore::listKeysWithValue(Text value, std::vector<Text>& out, Text section) {
    out.clear();
    std::vector<Text> found;
    const Text text = memoryText_;
    std::size_t begin = 0;
    std::size_t end = text.size();
    if (!section.empty()) {
        auto start = findSection(section, BeforePass::kNothing);
        if (!start) return 0;
        begin = *start;
        end = sectionEnd(*start);
    }
    std::string_view range(text.data() + begin, end - begin);
    std::size_t pos = 0;
    while (pos < range.size()) {
        std::size_t lineEnd = range.find("\r\n", pos);
        if (lineEnd == npos) lineEnd = range.size();
        std::string_view line = range.substr(pos, lineEnd - pos);
        pos = lineEnd + 2;
        std::size_t eq = line.find('=');
        if (eq == npos || IsHeaderLine(line) || line.substr(eq + 1) != value) continue;
        pump_.ProcessPendingEvents();
        found.emplace_back(line.substr(0, eq));
    }
    out = std::move(found);
    return static_cast<int>(out.size());
}

}  // namespace box
