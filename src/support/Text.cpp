#include "support/Text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>

namespace box {

namespace {

// How many input bytes one unconvertible character takes.
using CharLength = std::size_t (*)(std::string_view text, std::size_t pos);

std::size_t OneByte(std::string_view, std::size_t) {
    return 1;
}

// Converts with iconv; when replace is set, each unconvertible input
// character (as long as charLength says) becomes one '?'.
std::string Iconv(std::string_view input, const char* from, const char* to, bool replace, bool* ok,
                  CharLength charLength = OneByte) {
    if (ok) *ok = true;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        if (ok) *ok = false;
        return {};
    }
    std::string out;
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t used = 0;
    while (inLeft > 0) {
        char* dst = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL (truncated sequence at the end).
        if (!replace) {
            iconv_close(cd);
            if (ok) *ok = false;
            return {};
        }
        std::size_t skip = charLength(input, static_cast<std::size_t>(in - input.data()));
        skip = std::min(skip, inLeft);
        in += skip;
        inLeft -= skip;
        if (out.size() - used < 4) out.resize(out.size() * 2);
        out[used++] = '?';
    }
    out.resize(used);
    iconv_close(cd);
    return out;
}

}  // namespace

std::string ConvertEncoding(std::string_view input, const char* from, const char* to, bool* ok) {
    return Iconv(input, from, to, false, ok);
}

Text Utf8ToGbk(std::string_view utf8) {
    return Iconv(utf8, "UTF-8", "GBK", true, nullptr);
}

std::string GbkToUtf8(std::string_view gbk) {
    // A pair that GBK leaves unassigned is still one character: skipping only
    // its lead byte would pair the trail byte with the next character.
    return Iconv(gbk, "GBK", "UTF-8", true, nullptr, GbkCharLength);
}

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    return pos + 1 < text.size() && IsGbkLeadByte(static_cast<unsigned char>(text[pos])) &&
                   IsGbkTrailByte(static_cast<unsigned char>(text[pos + 1]))
               ? 2
               : 1;
}

Text operator""_gbk(const char* utf8, std::size_t size) {
    return Utf8ToGbk(std::string_view(utf8, size));
}

Text PadToBytes(Text text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

Text ReplaceAll(Text text, std::string_view what, std::string_view with) {
    if (what.empty()) return text;
    Text out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = text.find(what, pos);
        if (hit == Text::npos) break;
        out.append(text, pos, hit - pos);
        out.append(with);
        pos = hit + what.size();
    }
    out.append(text, pos, Text::npos);
    return out;
}

std::vector<Text> Split(std::string_view text, std::string_view sep) {
    std::vector<Text> parts;
    if (sep.empty()) {
        parts.emplace_back(text);
        return parts;
    }
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = text.find(sep, pos);
        if (hit == std::string_view::npos) {
            parts.emplace_back(text.substr(pos));
            return parts;
        }
        parts.emplace_back(text.substr(pos, hit - pos));
        pos = hit + sep.size();
    }
}

Text AsciiLower(std::string_view text) {
    Text out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (IsGbkLeadByte(c) && i + 1 < out.size()) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
    }
    return out;
}

Text ToText(long long value) {
    return std::to_string(value);
}

namespace {

// A decimal number that a double cannot hold: the largest finite value of its
// sign when it is too large, zero when it is too small. Which of the two is
// told by the place of its first significant digit, so no huge exponent is
// ever computed with.
double OutOfRange(std::string_view number) {
    const bool negative = !number.empty() && number.front() == '-';
    std::size_t i = (!number.empty() && (number[0] == '-' || number[0] == '+')) ? 1 : 0;
    // Digits before the point after leading zeros, or minus the zeros after
    // the point: the decimal order of the first significant digit, plus one.
    long long order = 0;
    bool significant = false;
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
        if (number[i] != '0') significant = true;
        if (significant) ++order;
    }
    if (i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
            if (significant) continue;
            if (number[i] == '0') --order;
            significant = number[i] != '0';
        }
    }
    long long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool down = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        constexpr long long kCap = 1000000;  // far beyond either end of a double
        for (; i < number.size() && exponent < kCap; ++i)
            exponent = exponent * 10 + (number[i] - '0');
        if (down) exponent = -exponent;
    }
    const bool tooLarge = significant && order + exponent > 0;
    const double magnitude = tooLarge ? std::numeric_limits<double>::max() : 0.0;
    return negative ? -magnitude : magnitude;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    // strtod also accepts hex, inf and nan; only plain decimal numbers count.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
            i = j;
        }
    }
    // from_chars ignores the C locale, so a decimal comma locale cannot
    // change what a stored number reads as. It takes no leading '+'.
    if (text[start] == '+') ++start;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data() + start, text.data() + i, value);
    if (ec == std::errc::result_out_of_range) return OutOfRange(text.substr(start, i - start));
    return value;
}

}  // namespace box
