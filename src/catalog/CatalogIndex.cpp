#include "catalog/CatalogIndex.h"

#include <algorithm>

namespace box {

namespace {

constexpr std::size_t npos = Text::npos;

// The first position in the sorted positions that is at or after from.
template <typename T, typename Key>
auto FirstFrom(const std::vector<T>& sorted, std::size_t from, Key key) {
    return std::partition_point(sorted.begin(), sorted.end(),
                                [&](const T& item) { return key(item) < from; });
}

std::size_t Self(std::size_t position) {
    return position;
}

}  // namespace

CatalogIndex::CatalogIndex(Text text) : text_(std::move(text)) {
    const std::string_view t = text_;
    // A line that opens with "[" names the text up to the first "]". The
    // search stops at the line's LF, so each byte is looked at once; a name
    // with an LF or a "]" in it is looked up the slow way.
    auto noteSection = [&](std::size_t start) {
        if (start >= t.size() || t[start] != '[') return;
        std::size_t close = start + 1;
        while (close < t.size() && t[close] != ']' && t[close] != '\n') ++close;
        if (close < t.size() && t[close] == ']') {
            sections_.emplace(t.substr(start + 1, close - start - 1), start);
        }
    };
    noteSection(0);
    for (std::size_t e = t.find("\r\n"); e != npos; e = t.find("\r\n", e + 2)) {
        lineEnds_.push_back(e);
        noteSection(e + 2);
    }
    for (std::size_t i = 0; i + 1 < lineEnds_.size(); ++i) {
        const std::size_t start = lineEnds_[i] + 2;
        const std::size_t end = lineEnds_[i + 1];
        if (end >= start + 2 && t[start] == '[' && t[end - 1] == ']') {
            wholeHeaders_.push_back({lineEnds_[i], end});
        }
    }
}

std::optional<std::size_t> CatalogIndex::sectionStart(const Text& name) const {
    if (name.find_first_of("]\n") == npos) {
        auto it = sections_.find(name);
        if (it == sections_.end()) return std::nullopt;
        return it->second;
    }
    const Text header = "[" + name + "]";
    for (std::size_t p = text_.find(header); p != npos; p = text_.find(header, p + 1)) {
        if (p == 0 || (p >= 2 && text_.compare(p - 2, 2, "\r\n") == 0)) return p;
    }
    return std::nullopt;
}

const std::vector<std::size_t>& CatalogIndex::keyLines(const Text& key) {
    auto [it, added] = keyLines_.try_emplace(key);
    if (added) {
        const Text start = key + "=";
        for (std::size_t e : lineEnds_) {
            if (text_.compare(e + 2, start.size(), start) == 0) it->second.push_back(e);
        }
    }
    return it->second;
}

std::optional<std::string_view> CatalogIndex::find(const Text& section, const Text& key) {
    const auto start = sectionStart(section);
    if (!start) return std::nullopt;
    const std::size_t headerEnd = *start + section.size() + 1;  // its "]"

    const std::vector<std::size_t>& lines = keyLines(key);
    const auto line = FirstFrom(lines, headerEnd, Self);
    if (line == lines.end()) return std::nullopt;
    // Only the first key line after the header counts: behind a whole
    // header line it belongs to a later section.
    const auto header =
        FirstFrom(wholeHeaders_, headerEnd + 1, [](const WholeHeader& h) { return h.before; });
    if (header != wholeHeaders_.end() && header->after <= *line) return std::nullopt;

    const std::size_t valueStart = *line + 2 + key.size() + 1;
    const auto valueEnd = FirstFrom(lineEnds_, valueStart, Self);
    const std::size_t end = valueEnd == lineEnds_.end() ? text_.size() : *valueEnd;
    return std::string_view(text_).substr(valueStart, end - valueStart);
}

}  // namespace box
