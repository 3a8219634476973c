#pragma once
// Where a settings store last found its sections and the keys in them, so
// that the catalog load (one write per program) and the sort (two reads per
// program) do not search the text from its start for every key.
//
// The index only remembers what a plain search of the text would answer and
// follows the two edits that writing a key makes (a new key line under the
// section's header, a new value); the store forgets it on any other change.
// It answers only for names and keys whose lines the text cannot confuse:
// no line breaks, no "]" in a section name, no "=" in a key and no key that
// starts like a header. Positions are 0-based.

#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "support/Text.h"

namespace box {

class SettingsStoreIndex {
public:
    struct KeyLine {
        std::size_t keyStart;
        std::size_t valueStart;
        std::size_t valueEnd;
    };
    // An answer of the index: nothing known (search the text), or what the
    // search would find (a position, or none).
    template <typename T>
    using Known = std::optional<std::optional<T>>;

    static bool IndexableSection(std::string_view name);
    static bool IndexableKey(std::string_view key);
    static bool IndexableValue(std::string_view value);

    void clear();

    Known<std::size_t> section(const Text& text, const Text& name);
    // What a search from the start of text found for name, in one pass.
    void rememberSection(const Text& text, const Text& name, std::optional<std::size_t> header);

    // The first line of key in the section whose header starts at header.
    Known<KeyLine> key(const Text& text, const Text& name, std::size_t header, const Text& key);

    // The two edits of a key write, after text has been changed. A new line
    // CR LF key "=" directly after the section's header line:
    void keyLineInserted(const Text& text, const Text& name, const Text& key);
    // The value of the key line at keyStart replaced, its length changed by
    // delta:
    void valueReplaced(const Text& text, const Text& name, std::size_t keyStart,
                       std::ptrdiff_t delta);

private:
    struct Section {
        bool present = false;
        std::size_t header = 0;
        // Key lines are kept as their distance before anchor: a new key line
        // under the header moves everything below it, anchor included.
        std::size_t anchor = 0;
        std::size_t end = 0;  // the next whole header line, or the end of the text
        bool keysKnown = false;
        std::unordered_map<Text, std::size_t> keys;
    };

    bool inStep(const Text& text);
    void buildKeys(const Text& text, const Text& name, Section& s);
    void shiftAfter(std::size_t pos, std::ptrdiff_t delta, const Section* except);

    std::unordered_map<Text, Section> sections_;
    std::size_t textSize_ = 0;
};

}  // namespace box
