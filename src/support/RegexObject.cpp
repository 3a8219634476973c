#include "support/RegexObject.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <iconv.h>
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <climits>

namespace box {

namespace {

// Bounds of one match attempt. The match limit stops runaway backtracking
// (a nested quantifier on a long subject) after a fraction of a second. The
// JIT keeps its backtracking on a stack of its own, which grows up to
// kJitStackMax (a group repeated over 100 KB needs about 4 MB); past it the
// attempt runs again in the interpreter, which keeps its frames on the heap,
// up to kHeapLimitKib. Neither touches the machine stack.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kHeapLimitKib = 64 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 16 * 1024 * 1024;

constexpr char32_t kReplacement = 0xFFFD;

// GBK to Unicode, one entry per double-byte code (lead * 256 + trail), 0
// where the code has no character. Built once from iconv, so that converting
// a subject is a table look-up per character and every UTF-8 character is
// known to come from exactly one GBK character.
class GbkTable {
public:
    static const GbkTable& Get() {
        static const GbkTable table;
        return table;
    }

    // The code point of the character of length 1 or 2 at text[pos].
    char32_t At(std::string_view text, std::size_t pos, std::size_t length) const {
        const auto lead = static_cast<unsigned char>(text[pos]);
        if (length == 1) return lead < 0x80 ? lead : (lead == 0x80 ? byte80_ : kReplacement);
        const char32_t c = codes_[lead * 256u + static_cast<unsigned char>(text[pos + 1])];
        return c ? c : kReplacement;
    }

private:
    GbkTable() {
        iconv_t cd = iconv_open("UTF-32LE", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        byte80_ = Convert(cd, "\x80", 1);
        if (!byte80_) byte80_ = kReplacement;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                codes_[lead * 256 + trail] = Convert(cd, pair, 2);
            }
        iconv_close(cd);
    }

    static char32_t Convert(iconv_t cd, const char* bytes, std::size_t size) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        unsigned char out[8] = {};
        char* in = const_cast<char*>(bytes);
        char* dst = reinterpret_cast<char*>(out);
        std::size_t inLeft = size;
        std::size_t outLeft = sizeof out;
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0 || outLeft != 4)
            return 0;
        return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }

    std::array<char32_t, 65536> codes_{};
    char32_t byte80_ = kReplacement;
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// GBK text to UTF-8. When gbkOffset is given it receives, for each UTF-8
// byte and for the end, the GBK offset of the character it belongs to.
void ToUtf8(std::string_view text, std::string& utf8, std::vector<std::size_t>* gbkOffset) {
    const GbkTable& table = GbkTable::Get();
    utf8.clear();
    utf8.reserve(text.size() + text.size() / 2);
    if (gbkOffset) {
        gbkOffset->clear();
        gbkOffset->reserve(text.size() + text.size() / 2 + 1);
    }
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = GbkCharLength(text, pos);
        const std::size_t before = utf8.size();
        AppendUtf8(utf8, table.At(text, pos, length));
        if (gbkOffset) gbkOffset->insert(gbkOffset->end(), utf8.size() - before, pos);
        pos += length;
    }
    if (gbkOffset) gbkOffset->push_back(text.size());
}

std::string ErrorText(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0)
        return "PCRE2 error " + ToText(code);
    return reinterpret_cast<const char*>(buffer);
}

// Contexts shared by every expression: they are only read once made.
pcre2_compile_context* CompileContext() {
    static pcre2_compile_context* const context = [] {
        pcre2_compile_context* c = pcre2_compile_context_create(nullptr);
        if (!c) return c;
        pcre2_set_newline(c, PCRE2_NEWLINE_ANYCRLF);
        pcre2_set_compile_extra_options(c, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
        return c;
    }();
    return context;
}

// One match context per thread: its JIT stack serves one match at a time.
class MatchSetup {
public:
    static pcre2_match_context* Context() {
        thread_local const MatchSetup setup;
        return setup.context_;
    }
    MatchSetup(const MatchSetup&) = delete;
    MatchSetup& operator=(const MatchSetup&) = delete;

private:
    MatchSetup() : context_(pcre2_match_context_create(nullptr)) {
        if (!context_) return;
        pcre2_set_match_limit(context_, kMatchLimit);
        pcre2_set_depth_limit(context_, kMatchLimit);
        pcre2_set_heap_limit(context_, kHeapLimitKib);
        stack_ = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
        if (stack_) pcre2_jit_stack_assign(context_, nullptr, stack_);
    }
    ~MatchSetup() {
        pcre2_match_context_free(context_);
        pcre2_jit_stack_free(stack_);
    }

    pcre2_match_context* context_ = nullptr;
    pcre2_jit_stack* stack_ = nullptr;
};

// Text with a backslash before every single-byte character of escaped; with
// wildcards, "*" and "?" become ".*" and ".?". The two bytes of a GBK
// character are never taken apart: their second byte may well be "\" or "|".
// A lead byte without its second byte reads as U+FFFD; it is written as
// "\uFFFD", since a backslash added after it would pair with it into a
// character and leave the escaped one bare.
Text Escape(std::string_view text, std::string_view escaped, bool wildcards) {
    Text out;
    out.reserve(text.size() * 2);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = GbkCharLength(text, pos);
        const char c = text[pos];
        if (length == 1 && IsGbkLeadByte(static_cast<unsigned char>(c))) {
            out += "\\uFFFD";
            ++pos;
            continue;
        }
        if (length == 1 && escaped.find(c) != std::string_view::npos) {
            out += '\\';
        } else if (length == 1 && wildcards && (c == '*' || c == '?')) {
            out += '.';
        }
        out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

}  // namespace

struct RegexObject::Compiled {
    struct CodeFree {
        void operator()(pcre2_code* p) const { pcre2_code_free(p); }
    };
    struct DataFree {
        void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
    };
    std::unique_ptr<pcre2_code, CodeFree> code;
    std::unique_ptr<pcre2_match_data, DataFree> data;

    // Without the JIT (no executable memory, say) matching takes the
    // interpreter, only slower.
    explicit Compiled(pcre2_code* c)
        : code(c), data(pcre2_match_data_create_from_pattern(c, nullptr)) {
        pcre2_jit_compile(c, PCRE2_JIT_COMPLETE);
    }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

RegexObject::RegexObject(const RegexObject& other)
    : pattern_(other.pattern_),
      global_(other.global_),
      groupCount_(other.groupCount_),
      matchGroups_(other.matchGroups_),
      spans_(other.spans_),
      subject_(other.subject_),
      stoppedEarly_(other.stoppedEarly_),
      error_(other.error_) {
    if (other.compiled_) {
        pcre2_code* code = pcre2_code_copy(other.compiled_->code.get());
        if (code) compiled_ = std::make_unique<Compiled>(code);
        if (!compiled_ || !compiled_->data) {
            compiled_.reset();
            pattern_.clear();
        }
    }
}

RegexObject& RegexObject::operator=(const RegexObject& other) {
    if (this != &other) *this = RegexObject(other);
    return *this;
}

void RegexObject::clear() {
    compiled_.reset();
    pattern_.clear();
    groupCount_ = 0;
    matchGroups_ = 1;
    spans_.clear();
    subject_.clear();
    stoppedEarly_ = false;
}

void RegexObject::destroy() {
    clear();
    error_.clear();
    Text().swap(subject_);
    std::string().swap(utf8_);
    std::vector<std::size_t>().swap(gbkOffset_);
    std::vector<RegexSpan>().swap(spans_);
}

RegexObject RegexObject::copy() const {
    return RegexObject(*this);
}

Text RegexObject::wildcardToPattern(std::string_view text) {
    return Escape(text, "\\^$+.{}[]=()-\"", true);
}

Text RegexObject::escapeAll(std::string_view text) {
    return Escape(text, "\\^$+.{}[]=()?*|\"", false);
}

Text RegexObject::escapeAllButBar(std::string_view text) {
    return Escape(text, "\\^$+.{}[]=()?*\"", false);
}

bool RegexObject::compile(std::string_view pattern, bool ignoreCase, bool multiline, bool global) {
    compiled_.reset();
    pattern_.clear();
    groupCount_ = 0;
    error_.clear();
    global_ = global;
    if (!CompileContext() || !MatchSetup::Context()) {
        error_ = "out of memory";
        return false;
    }
    std::string utf8;
    ToUtf8(pattern, utf8, nullptr);
    std::uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF |
                            PCRE2_DOLLAR_ENDONLY | PCRE2_ALLOW_EMPTY_CLASS |
                            PCRE2_NEVER_BACKSLASH_C;
    if (ignoreCase) options |= PCRE2_CASELESS;
    if (multiline) options |= PCRE2_MULTILINE;
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                                         options, &code, &offset, CompileContext());
    if (!compiled) {
        error_ = ErrorText(code);
        return false;
    }
    compiled_ = std::make_unique<Compiled>(compiled);
    if (!compiled_->data) {
        compiled_.reset();
        error_ = "out of memory";
        return false;
    }
    std::uint32_t captures = 0;
    pcre2_pattern_info(compiled, PCRE2_INFO_CAPTURECOUNT, &captures);
    groupCount_ = captures;
    pattern_ = Text(pattern);
    return true;
}

bool RegexObject::isCompiled() const {
    return compiled_ != nullptr;
}

Text RegexObject::getPattern() const {
    return pattern_;
}

bool RegexObject::run(std::string_view subject, std::vector<RegexSpan>& spans) {
    spans.clear();
    ToUtf8(subject, utf8_, &gbkOffset_);
    const auto* data = reinterpret_cast<PCRE2_SPTR>(utf8_.data());
    const std::size_t size = utf8_.size();
    pcre2_match_data* md = compiled_->data.get();
    const std::size_t groups = groupCount_ + 1;
    // The conversion writes valid UTF-8; PCRE2 checks it once, on the first
    // attempt, rather than on every step of a global run.
    std::uint32_t options = 0;
    for (std::size_t start = 0; start <= size;) {
        pcre2_match_context* context = MatchSetup::Context();
        int rc = pcre2_match(compiled_->code.get(), data, size, start, options, md, context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
            rc = pcre2_match(compiled_->code.get(), data, size, start, options | PCRE2_NO_JIT, md,
                             context);
        options = PCRE2_NO_UTF_CHECK;
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) {
            error_ = ErrorText(rc);
            return false;
        }
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        for (std::size_t g = 0; g < groups; ++g) {
            RegexSpan s;
            if (g < static_cast<std::size_t>(rc) && ov[2 * g] != PCRE2_UNSET) {
                const std::size_t from = std::min<std::size_t>(ov[2 * g], size);
                const std::size_t to = std::max<std::size_t>(from, std::min(ov[2 * g + 1], size));
                s.offset = gbkOffset_[from];
                s.length = gbkOffset_[to] - s.offset;
                s.set = true;
            }
            spans.push_back(s);
        }
        if (!global_) break;
        const std::size_t end = std::max(ov[0], ov[1]);
        if (end > start) {
            start = end;
        } else {
            // An empty match: the next attempt starts one character on.
            if (end >= size) break;
            start = end + 1;
            while (start < size && (static_cast<unsigned char>(utf8_[start]) & 0xC0) == 0x80)
                ++start;
        }
    }
    return true;
}

int RegexObject::execute(std::string_view subject) {
    spans_.clear();
    matchGroups_ = groupCount_ + 1;
    subject_ = Text(subject);
    stoppedEarly_ = false;
    if (!compiled_) return 0;
    error_.clear();
    stoppedEarly_ = !run(subject_, spans_);
    return matchCount();
}

Text RegexObject::replace(std::string_view subject, std::string_view replacement) {
    if (!compiled_) return Text(subject);
    std::vector<RegexSpan> spans;
    run(subject, spans);
    const std::size_t groups = groupCount_ + 1;
    Text out;
    std::size_t copied = 0;
    for (std::size_t m = 0; m < spans.size(); m += groups) {
        const RegexSpan& whole = spans[m];
        out.append(subject.substr(copied, whole.offset - copied));
        copied = whole.offset + whole.length;
        auto group = [&](std::size_t g) {
            const RegexSpan& s = spans[m + g];
            if (s.set) out.append(subject.substr(s.offset, s.length));
        };
        for (std::size_t pos = 0; pos < replacement.size();) {
            const std::size_t length = GbkCharLength(replacement, pos);
            if (length != 1 || replacement[pos] != '$' || pos + 1 >= replacement.size()) {
                out.append(replacement.substr(pos, length));
                pos += length;
                continue;
            }
            const char next = replacement[pos + 1];
            auto digit = [&](std::size_t at) {
                return at < replacement.size() && replacement[at] >= '0' && replacement[at] <= '9'
                           ? replacement[at] - '0'
                           : -1;
            };
            const int d1 = digit(pos + 1);
            const int d2 = digit(pos + 2);
            if (next == '$') {
                out += '$';
                pos += 2;
            } else if (next == '&') {
                group(0);
                pos += 2;
            } else if (next == '`') {
                out.append(subject.substr(0, whole.offset));
                pos += 2;
            } else if (next == '\'') {
                out.append(subject.substr(whole.offset + whole.length));
                pos += 2;
            } else if (d1 >= 0 && d2 >= 0 && d1 * 10 + d2 >= 1 &&
                       static_cast<std::size_t>(d1 * 10 + d2) <= groupCount_) {
                group(static_cast<std::size_t>(d1 * 10 + d2));
                pos += 3;
            } else if (d1 >= 1 && static_cast<std::size_t>(d1) <= groupCount_) {
                group(static_cast<std::size_t>(d1));
                pos += 2;
            } else {
                out += '$';
                pos += 1;
            }
        }
    }
    out.append(subject.substr(std::min(copied, subject.size())));
    return out;
}

int RegexObject::matchCount() const {
    const std::size_t count = spans_.size() / matchGroups_;
    return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

RegexSpan RegexObject::span(int matchIndex, int groupIndex) const {
    if (matchIndex < 1 || matchIndex > matchCount() || groupIndex < 0 ||
        static_cast<std::size_t>(groupIndex) >= matchGroups_)
        return {};
    return spans_[(static_cast<std::size_t>(matchIndex) - 1) * matchGroups_ +
                  static_cast<std::size_t>(groupIndex)];
}

Text RegexObject::spanText(const RegexSpan& s) const {
    return s.set ? subject_.substr(s.offset, s.length) : Text();
}

RegexSpan RegexObject::matchSpan(int matchIndex) const {
    return span(matchIndex, 0);
}

RegexSpan RegexObject::subMatchSpan(int matchIndex, int groupIndex) const {
    return groupIndex < 1 ? RegexSpan{} : span(matchIndex, groupIndex);
}

Text RegexObject::matchValue(int matchIndex) const {
    return spanText(matchSpan(matchIndex));
}

Text RegexObject::subMatchValue(int matchIndex, int groupIndex) const {
    return spanText(subMatchSpan(matchIndex, groupIndex));
}

int RegexObject::subMatchCount() const {
    return matchCount() > 0 ? static_cast<int>(matchGroups_ - 1) : 0;
}

namespace {

int Position(const RegexSpan& s) {
    if (!s.set || s.offset >= static_cast<std::size_t>(INT_MAX)) return 0;
    return static_cast<int>(s.offset) + 1;
}

}  // namespace

Text RegexObject::matchValueAt(int matchIndex, int& position, bool wantPosition) const {
    const RegexSpan s = matchSpan(matchIndex);
    if (wantPosition) position = Position(s);
    return spanText(s);
}

Text RegexObject::subMatchValueAt(int matchIndex, int groupIndex, int& position,
                                  bool wantPosition) const {
    const RegexSpan s = subMatchSpan(matchIndex, groupIndex);
    if (wantPosition) position = Position(s);
    return spanText(s);
}

}  // namespace box
