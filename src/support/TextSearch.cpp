#include "support/TextSearch.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace box {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// A lead byte followed by anything but a trail byte (a quote, "<", a line
// break) is a stray byte of its own.
inline std::size_t UnitLength(std::string_view s, std::size_t i) {
    return GbkCharLength(s, i);
}

inline unsigned char FoldAscii(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
}

// The first character boundary at or after pos. A byte outside the lead range
// always ends a character, so only the run of lead-range bytes just before pos
// matters: counted from its start they pair up (every lead-range byte is also
// a trail byte), and an odd run means pos holds the second byte of a character
// when it is a trail byte.
std::size_t BoundaryAtOrAfter(std::string_view text, std::size_t pos) {
    std::size_t run = 0;
    while (run < pos && IsGbkLeadByte(static_cast<unsigned char>(text[pos - 1 - run]))) ++run;
    if (run % 2 == 1 && pos < text.size() && IsGbkTrailByte(static_cast<unsigned char>(text[pos])))
        return pos + 1;
    return pos;
}

// Compares character by character: single bytes ignoring ASCII case,
// double-byte characters exactly. A needle that ends in half a character does
// not match a whole one.
bool MatchesAt(std::string_view text, std::size_t i, std::string_view what) {
    if (text.size() - i < what.size()) return false;
    std::size_t j = 0;
    while (j < what.size()) {
        std::size_t n = UnitLength(what, j);
        if (UnitLength(text, i + j) != n) return false;
        if (n == 1) {
            if (FoldAscii(text[i + j]) != FoldAscii(what[j])) return false;
        } else if (text[i + j] != what[j] || text[i + j + 1] != what[j + 1]) {
            return false;
        }
        j += n;
    }
    return true;
}

// 0-based index of the first match at a boundary at or after from.
std::size_t FindFrom(std::string_view text, std::string_view what, std::size_t from) {
    if (from >= text.size()) return kNone;
    const unsigned char first = FoldAscii(what[0]);
    for (std::size_t i = BoundaryAtOrAfter(text, from); i + what.size() <= text.size();
         i += UnitLength(text, i)) {
        if (FoldAscii(text[i]) == first && MatchesAt(text, i, what)) return i;
    }
    return kNone;
}

int ToPosition(std::size_t index) {
    return index >= static_cast<std::size_t>(INT_MAX) ? 0 : static_cast<int>(index + 1);
}

int ClampToInt(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

Text WithoutQuotes(const Text& s) {
    Text out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '"') out += c;
    return out;
}

}  // namespace

int FindText(std::string_view text, std::string_view what, int start) {
    std::size_t from = start > 1 ? static_cast<std::size_t>(start) - 1 : 0;
    if (what.empty()) return from < text.size() ? 1 : 0;
    std::size_t hit = FindFrom(text, what, from);
    return hit == kNone ? 0 : ToPosition(hit);
}

int FindTextBefore(std::string_view text, std::string_view what, int before) {
    if (before <= 1) return 0;
    std::size_t limit = std::min(static_cast<std::size_t>(before) - 1, text.size());
    if (what.empty()) return limit >= 1 ? 1 : 0;
    std::size_t last = kNone;
    for (std::size_t i = 0; i + what.size() <= limit; i += UnitLength(text, i)) {
        if (MatchesAt(text, i, what)) last = i;
    }
    return last == kNone ? 0 : ToPosition(last);
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right, int& start,
                 bool fromRight) {
    static const Text kHeadMark = "#汀芷头#"_gbk;
    static const Text kTailMark = "#汀芷尾#"_gbk;

    Text l = ReplaceAll(Text(left), "''", "\"");
    Text r = ReplaceAll(Text(right), "''", "\"");
    Text extended;
    std::string_view body = text;
    if (l.empty() || r.empty()) {
        if (l.empty()) {
            l = kHeadMark;
            extended = kHeadMark;
        }
        extended.append(text);
        if (r.empty()) {
            r = kTailMark;
            extended += kTailMark;
        }
        body = extended;
    }

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) {
            Text l2 = WithoutQuotes(l);
            Text r2 = WithoutQuotes(r);
            if (l2 == l && r2 == r) break;  // the same search again would fail the same way
            l = std::move(l2);
            r = std::move(r2);
        }
        const long long ll = static_cast<long long>(l.size());
        int L = 0;
        int R = 0;
        if (!fromRight) {
            L = FindText(body, l, start);
            if (L == 0) continue;
            R = FindText(body, r, ClampToInt(L + ll));
            if (R == 0) continue;
        } else {
            R = FindText(body, r, start);
            if (R == 0) continue;
            L = FindTextBefore(body, l, R);
            if (L == 0) continue;
        }
        start = ClampToInt(static_cast<long long>(R) + static_cast<long long>(r.size()));
        long long length = static_cast<long long>(R) - L - ll;
        if (length <= 0) return {};
        return Text(
            body.substr(static_cast<std::size_t>(L - 1 + ll), static_cast<std::size_t>(length)));
    }
    return {};
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 bool fromRight) {
    int start = 0;
    return TextBetween(text, left, right, start, fromRight);
}

bool ContainsAny(std::string_view text, std::string_view variants) {
    for (const Text& variant : Split(ReplaceAll(Text(variants), "''", "\""), "[fg]")) {
        // An empty variant (a stray separator) would match any text.
        if (!variant.empty() && FindText(text, variant) != 0) return true;
    }
    return false;
}

Text UpToFirstZero(std::string_view bytes) {
    if (bytes.empty()) return {};
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    if (!zero) return Text(bytes);
    return Text(bytes.data(), static_cast<const char*>(zero));
}

}  // namespace box
