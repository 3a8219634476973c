#pragma once
// One compiled regular expression and the matches of its last run, over GBK
// text, and the conversion of the wildcard text that users type into a search
// box ("汀芷*工具", "a?c", "a|b") into such an expression.
//
// The dialect is that of the scripting engines' regular expressions
// (ECMAScript style), matched character by character, not byte by byte: the
// engine is PCRE2 in UTF mode on the UTF-8 form of the text, and every
// position and length handed out is mapped back to GBK bytes. A byte that is
// no GBK character reads as U+FFFD, which only ".", a negated class or
// \x{FFFD} match.
//
// Where PCRE2 still differs from an ECMAScript-style engine, even with the
// options chosen here (Unicode properties, \uhhhh, unset back-references that
// match the empty text, "$" only at the very end, "[]" and "[^]", an unknown
// escape such as "\q" standing for its letter):
// - \w, \d, \s and \b follow Unicode: Chinese characters are word characters
//   and fullwidth digits are digits, where ECMAScript keeps \w and \d ASCII.
// - Line breaks for "^", "$" (multiline) and ".": CR, LF and CR LF, the pair
//   counting as one break (no "^" between CR and LF); U+2028 and U+2029 are
//   ordinary characters.
// - PCRE2 accepts more syntax: possessive quantifiers, atomic groups,
//   \Q...\E, inline options such as (?i), recursion, (*VERB)s, \p{..}, \h,
//   \R, \K, \A, \z, \G, octal escapes after \0. ECMAScript would reject
//   these or read them as literals. A backslash at the very end is literal,
//   and \C is the letter C (it would otherwise match half a character).
// - A lookbehind must have a fixed length (or alternatives of fixed lengths),
//   and a count in braces may not pass 65535.
// - A group inside a repeat keeps its value from an earlier round when a
//   later round leaves it out; ECMAScript resets it to unset.
// Global runs step over an empty match by one character, as ECMAScript does.
//
// Patterns come from the user's typing, so a run is bounded: a pattern that
// backtracks without end stops with the matches found so far (stoppedEarly),
// and a run never recurses on the machine stack, however long the subject.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

// A stretch of the subject in GBK bytes.
struct RegexSpan {
    std::size_t offset = 0;  // 0-based
    std::size_t length = 0;
    bool set = false;  // false for a group that took no part in the match
};

class RegexObject {
public:
    RegexObject();
    ~RegexObject();
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&& other) noexcept;
    RegexObject& operator=(RegexObject&& other) noexcept;

    // Drops the expression, the matches and the subject.
    void destroy();
    void clear();
    RegexObject copy() const;

    // Typed wildcards to a pattern: "*" any run of characters, "?" at most one
    // character, "|" an alternative; everything else literal.
    static Text wildcardToPattern(std::string_view text);
    // Text to a pattern that matches it literally.
    static Text escapeAll(std::string_view text);
    // The same, but "|" keeps its meaning of an alternative.
    static Text escapeAllButBar(std::string_view text);

    // Replaces the expression. False for a pattern that does not compile
    // (errorMessage says why); the object then has no expression.
    bool compile(std::string_view pattern, bool ignoreCase = true, bool multiline = true,
                 bool global = true);
    // Runs the expression on subject and keeps its matches (all of them when
    // global, else the first) and a copy of subject. Returns the number of
    // matches; 0 without an expression.
    int execute(std::string_view subject);
    // The pattern as compiled; "" without an expression.
    Text getPattern() const;
    // Subject with the matches (all when global, else the first) replaced.
    // In replacement, $1..$99 stand for a group, $& for the match, $` and $'
    // for the text before and after it, $$ for "$". Without an expression the
    // subject comes back unchanged. The kept matches stay as they are.
    Text replace(std::string_view subject, std::string_view replacement);

    int matchCount() const;
    // Match and group indices are 1-based; an index out of range, like a
    // group that took no part in the match, gives "".
    Text matchValue(int matchIndex) const;
    Text subMatchValue(int matchIndex, int groupIndex) const;
    // Number of groups of the pattern when there is a match, else 0.
    int subMatchCount() const;
    // As matchValue; with wantPosition, position receives the match's 1-based
    // byte position in the subject (0 when there is no such match).
    Text matchValueAt(int matchIndex, int& position, bool wantPosition) const;
    Text subMatchValueAt(int matchIndex, int groupIndex, int& position, bool wantPosition) const;

    RegexSpan matchSpan(int matchIndex) const;
    RegexSpan subMatchSpan(int matchIndex, int groupIndex) const;
    const Text& subject() const { return subject_; }
    bool isCompiled() const;
    // The last run hit the backtracking or memory bound before its end.
    bool stoppedEarly() const { return stoppedEarly_; }
    // Why the last compile failed or the last run stopped early (English).
    const std::string& errorMessage() const { return error_; }

private:
    struct Compiled;

    // Runs the expression from the start of subject into spans (groupCount_
    // + 1 per match). False when it stopped at a bound.
    bool run(std::string_view subject, std::vector<RegexSpan>& spans);
    RegexSpan span(int matchIndex, int groupIndex) const;
    Text spanText(const RegexSpan& s) const;

    std::unique_ptr<Compiled> compiled_;
    Text pattern_;
    bool global_ = true;
    std::size_t groupCount_ = 0;
    // The kept matches: matchGroups_ spans each (the match, then its groups),
    // as the expression of the last execute had them.
    std::size_t matchGroups_ = 1;
    std::vector<RegexSpan> spans_;
    Text subject_;
    bool stoppedEarly_ = false;
    std::string error_;
    // Reused between runs: the subject as UTF-8, and the GBK offset of each
    // of its bytes.
    std::string utf8_;
    std::vector<std::size_t> gbkOffset_;
};

}  // namespace box
