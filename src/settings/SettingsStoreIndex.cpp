#include "settings/SettingsStoreIndex.h"

#include <utility>
#include <vector>

namespace box {

namespace {

constexpr std::size_t npos = Text::npos;
// Callers use a handful of sections; a store asked about many names starts
// over rather than grow without bound.
constexpr std::size_t kMaxSections = 16;

bool HasLineBreakByte(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool IsWholeHeaderLine(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

}  // namespace

bool SettingsStoreIndex::IndexableSection(std::string_view name) {
    return !HasLineBreakByte(name) && name.find(']') == std::string_view::npos;
}

bool SettingsStoreIndex::IndexableKey(std::string_view key) {
    return !HasLineBreakByte(key) && key.find('=') == std::string_view::npos &&
           (key.empty() || key.front() != '[');
}

bool SettingsStoreIndex::IndexableValue(std::string_view value) {
    return !HasLineBreakByte(value);
}

void SettingsStoreIndex::clear() {
    sections_.clear();
}

// A text of another length than the index last saw was changed behind its
// back: nothing it knows can be trusted.
bool SettingsStoreIndex::inStep(const Text& text) {
    if (sections_.empty() || textSize_ == text.size()) return true;
    clear();
    return false;
}

SettingsStoreIndex::Known<std::size_t> SettingsStoreIndex::section(const Text& text,
                                                                   const Text& name) {
    if (!inStep(text)) return std::nullopt;
    auto it = sections_.find(name);
    if (it == sections_.end()) return std::nullopt;
    if (!it->second.present) return std::optional<std::size_t>();
    return std::optional<std::size_t>(it->second.header);
}

void SettingsStoreIndex::rememberSection(const Text& text, const Text& name,
                                         std::optional<std::size_t> header) {
    if (!IndexableSection(name)) return;
    if (!inStep(text) || sections_.size() >= kMaxSections) clear();
    Section s;
    if (header) {
        // Only a header line that holds nothing but the header: a key line
        // inserted under it then starts a line of its own.
        const std::size_t after = *header + name.size() + 2;
        if (after > text.size()) return;
        if (after < text.size() && text.compare(after, 2, "\r\n") != 0) return;
        s.present = true;
        s.header = *header;
    }
    if (sections_.empty()) textSize_ = text.size();
    sections_.insert_or_assign(name, std::move(s));
}

// The lines below the header up to the next whole header line: each key's
// first line, as a plain search from the header would find it.
void SettingsStoreIndex::buildKeys(const Text& text, const Text& name, Section& s) {
    s.keys.clear();
    std::size_t pos = s.header + name.size() + 2;
    std::vector<std::pair<std::string_view, std::size_t>> found;
    s.end = text.size();
    while (pos + 1 < text.size() && text[pos] == '\r' && text[pos + 1] == '\n') {
        const std::size_t start = pos + 2;
        std::size_t end = text.find("\r\n", start);
        if (end == npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (IsWholeHeaderLine(line)) {
            s.end = start;
            break;
        }
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos) found.emplace_back(line.substr(0, eq), start);
        pos = end;
    }
    s.keys.reserve(found.size());
    for (const auto& [key, start] : found) s.keys.emplace(Text(key), s.end - start);
    s.keysKnown = true;
}

SettingsStoreIndex::Known<SettingsStoreIndex::KeyLine> SettingsStoreIndex::key(const Text& text,
                                                                               const Text& name,
                                                                               std::size_t header,
                                                                               const Text& key) {
    if (!inStep(text) || !IndexableKey(key)) return std::nullopt;
    auto it = sections_.find(name);
    if (it == sections_.end() || !it->second.present || it->second.header != header)
        return std::nullopt;
    Section& s = it->second;
    if (!s.keysKnown) buildKeys(text, name, s);
    auto k = s.keys.find(key);
    if (k == s.keys.end()) return std::optional<KeyLine>();
    const std::size_t keyStart = s.end - k->second;
    const std::size_t valueStart = keyStart + key.size() + 1;
    // A line that is not where the index says means it missed a change:
    // forget everything and let the text answer.
    if (keyStart < 2 || valueStart > text.size() || text.compare(keyStart - 2, 2, "\r\n") != 0 ||
        text.compare(keyStart, key.size(), key) != 0 || text[valueStart - 1] != '=') {
        clear();
        return std::nullopt;
    }
    std::size_t valueEnd = text.find("\r\n", valueStart);
    if (valueEnd == npos) valueEnd = text.size();
    return std::optional<KeyLine>(KeyLine{keyStart, valueStart, valueEnd});
}

void SettingsStoreIndex::shiftAfter(std::size_t pos, std::ptrdiff_t delta, const Section* except) {
    for (auto& [name, s] : sections_) {
        if (&s == except || !s.present) continue;
        if (s.header > pos) s.header += static_cast<std::size_t>(delta);
        if (s.end > pos) s.end += static_cast<std::size_t>(delta);
    }
}

void SettingsStoreIndex::keyLineInserted(const Text& text, const Text& name, const Text& key) {
    auto it = sections_.find(name);
    const std::size_t added = key.size() + 3;
    if (it == sections_.end() || !it->second.present || !it->second.keysKnown ||
        !IndexableKey(key) || textSize_ + added != text.size()) {
        clear();
        return;
    }
    Section& s = it->second;
    const std::size_t pos = s.header + name.size() + 2;
    shiftAfter(pos, static_cast<std::ptrdiff_t>(added), &s);
    // Everything below the header moved down, the end included; the keys'
    // distances before it stay.
    s.end += added;
    s.keys.insert_or_assign(key, s.end - (pos + 2));
    textSize_ = text.size();
}

void SettingsStoreIndex::valueReplaced(const Text& text, const Text& name, std::size_t keyStart,
                                       std::ptrdiff_t delta) {
    auto it = sections_.find(name);
    if (it == sections_.end() || !it->second.present ||
        textSize_ + static_cast<std::size_t>(delta) != text.size()) {
        clear();
        return;
    }
    if (delta == 0) return;
    Section& s = it->second;
    // Lines above the changed one keep their places but are now further
    // from the end: only the first line under the header has none above.
    if (keyStart != s.header + name.size() + 4) {
        s.keysKnown = false;
        s.keys.clear();
    }
    shiftAfter(keyStart, delta, &s);
    s.end += static_cast<std::size_t>(delta);
    textSize_ = text.size();
}

}  // namespace box
