// The regular-expression object on any pattern and any subject: what a user
// types into the search box (taken as wildcards, or as a pattern of its own),
// run over any GBK or broken text, with a replacement.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "FuzzTarget.h"
#include "support/RegexObject.h"
#include "support/Text.h"

namespace box::fuzz {

namespace {

constexpr std::size_t kMaxPatternBytes = 256;
constexpr std::size_t kMaxReplacementBytes = 32;

enum Flag : std::uint8_t {
    kIgnoreCase = 1,
    kMultiline = 2,
    kGlobal = 4,
    kWildcards = 8,  // the pattern is typed text for wildcardToPattern
};

// Whether offset starts a character of text, the way the box walks GBK.
bool StartsCharacter(std::string_view text, std::size_t offset) {
    std::size_t pos = 0;
    while (pos < offset) pos += GbkCharLength(text, pos);
    return pos == offset;
}

void CheckMatches(const RegexObject& regex, const Text& subject) {
    std::size_t previousEnd = 0;
    const int count = regex.matchCount();
    for (int m = 1; m <= count; ++m) {
        const RegexSpan s = regex.matchSpan(m);
        Check(s.set && s.offset >= previousEnd && s.offset + s.length <= subject.size(),
              "matches lie in order inside the subject");
        Check(StartsCharacter(subject, s.offset) && StartsCharacter(subject, s.offset + s.length),
              "a match starts and ends between characters");
        Check(regex.matchValue(m) == subject.substr(s.offset, s.length),
              "a match's value is its stretch of the subject");
        previousEnd = s.offset + s.length;
        for (int g = 1; g <= regex.subMatchCount(); ++g) {
            const RegexSpan group = regex.subMatchSpan(m, g);
            Check(!group.set || group.offset + group.length <= subject.size(),
                  "a group lies inside the subject");
            Check(regex.subMatchValue(m, g) ==
                      (group.set ? subject.substr(group.offset, group.length) : Text()),
                  "a group's value is its stretch of the subject");
        }
    }
    Check(regex.matchValue(count + 1).empty() && regex.subMatchValue(1, -1).empty(),
          "indices out of range give nothing");
}

}  // namespace

std::vector<std::string> Seeds() {
    const std::string caption = "汀芷·软件盒子v1.2.0(未下载)[免]"_gbk;
    return {
        ProviderInput({"汀芷*工具"_gbk, "$&"}, caption + char(kIgnoreCase | kGlobal | kWildcards)),
        ProviderInput({"a?c|软"_gbk, "<$1>"}, "abc 软件 ac" + caption + char(kWildcards | kGlobal)),
        ProviderInput({"v(\\d+)\\.(\\d+)?", "$2$1$`"}, caption + char(0x07)),
        ProviderInput({"^(?:(a|b)|汀)*$"_gbk, "$'"}, "ab汀ab\r\nab"_gbk + char(0x03)),
        ProviderInput({"(a+)+$", "x"}, std::string(30, 'a') + "!" + char(0x07)),
        ProviderInput({"x*", "-"}, "\xFF\x81\x5C\x81\x7C\xB0" + caption + char(0x04)),
        ProviderInput({"[^]\\u6C40\\q[]|\\1(a)?", "$$"}, caption + char(0x05)),
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    FuzzedDataProvider in(data, size);
    const std::string typed = in.ConsumeRandomLengthString(fuzz::kMaxPatternBytes);
    const std::string replacement = in.ConsumeRandomLengthString(fuzz::kMaxReplacementBytes);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    const Text subject = in.ConsumeRemainingBytesAsString();

    RegexObject regex;
    const bool wildcards = flags & fuzz::kWildcards;
    const Text pattern = wildcards ? RegexObject::wildcardToPattern(typed) : typed;
    const bool compiled = regex.compile(pattern, flags & fuzz::kIgnoreCase,
                                        flags & fuzz::kMultiline, flags & fuzz::kGlobal);
    fuzz::Check(!wildcards || compiled, "typed wildcards always make a pattern");
    fuzz::Check(
        compiled == regex.isCompiled() && regex.getPattern() == (compiled ? pattern : Text()),
        "the pattern is kept exactly when it compiled");
    const int count = regex.execute(subject);
    fuzz::Check(compiled || count == 0, "no expression finds nothing");
    fuzz::Check((flags & fuzz::kGlobal) || count <= 1, "a run that is not global finds one match");
    fuzz::Check(count == regex.matchCount() && regex.subject() == subject,
                "execute keeps its subject and counts its matches");
    fuzz::CheckMatches(regex, subject);

    const Text replaced = regex.replace(subject, replacement);
    fuzz::Check(count > 0 || regex.stoppedEarly() || replaced == subject,
                "a replacement without a match leaves the subject alone");

    // An escaped text is found as itself.
    RegexObject literal;
    const Text text = typed.substr(0, 64);
    fuzz::Check(literal.compile(RegexObject::escapeAll(text), false, false, false),
                "an escaped text makes a pattern");
    const int found = literal.execute(text);
    fuzz::Check(literal.stoppedEarly() || (found == 1 && literal.matchSpan(1).offset == 0 &&
                                           literal.matchSpan(1).length == text.size()),
                "an escaped text matches itself");
    const RegexObject copy = regex.copy();
    fuzz::Check(copy.matchCount() == count && copy.getPattern() == regex.getPattern(),
                "a copy keeps the expression and the matches");
    return 0;
}
