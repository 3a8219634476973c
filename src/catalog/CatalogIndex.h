#pragma once
// Key reads over the catalog text, answered as the settings store answers
// them, in time linear in the text.
//
// The store searches its text afresh for every read: the section header from
// the start of the text, the key from the header on, and for every line
// between them that opens with "[" the end of a header line. Over a catalog
// of thousands of programs, or one with thousands of lines that open like a
// header and never close like one, that is quadratic, and the window waits
// for it. The parser's text is never edited, so its line ends, whole header
// lines, section headers and key lines can be found once.

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/Text.h"

namespace box {

class CatalogIndex {
public:
    explicit CatalogIndex(Text text);
    // The index points into its own text.
    CatalogIndex(const CatalogIndex&) = delete;
    CatalogIndex& operator=(const CatalogIndex&) = delete;

    // The value of key in section, as the store's key read finds it: the
    // first header "[section]" at the start of a line, then the first line
    // CR LF + key + "=" after it, unless a whole header line lies between.
    // nullopt when the section or the key is missing.
    std::optional<std::string_view> find(const Text& section, const Text& key);

private:
    // A line that is a whole header: "[" at its start, "]" at its end, a
    // CR LF on either side. Both positions are those of the CR LFs.
    struct WholeHeader {
        std::size_t before;
        std::size_t after;
    };

    std::optional<std::size_t> sectionStart(const Text& name) const;
    const std::vector<std::size_t>& keyLines(const Text& key);

    Text text_;
    std::vector<std::size_t> lineEnds_;  // every CR LF, in text order
    std::vector<WholeHeader> wholeHeaders_;
    // For every line that opens with "[" and has a "]" before its end: the
    // text between them, mapped to the first such line.
    std::unordered_map<std::string_view, std::size_t> sections_;
    // Per key asked for: the CR LF of every line that starts with key + "=".
    std::unordered_map<Text, std::vector<std::size_t>> keyLines_;
};

}  // namespace box
