#include "support/Text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <optional>

#include "support/PumpThrottle.h"

namespace box {

namespace {

// How many input bytes one unconvertible character takes.
using CharLength = std::size_t (*)(std::string_view text, std::size_t pos);

std::size_t OneByte(std::string_view, std::size_t) {
    return 1;
}

// The one iconv loop of the box. It converts in slices so that the pump, when
// given, can run between them on large inputs; a character cut at a slice's
// end goes with the next slice. When replace is set, each unconvertible input
// character (as long as charLength says) becomes one '?'; otherwise any
// invalid or incomplete input makes the whole conversion fail.
std::string Iconv(std::string_view input, const char* from, const char* to, bool replace, bool* ok,
                  CharLength charLength = OneByte, EventPump* pump = nullptr) {
    if (ok) *ok = true;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        if (ok) *ok = false;
        return {};
    }
    constexpr std::size_t kSlice = 256 * 1024;
    std::string out;
    out.resize(input.size() + input.size() / 2 + 16);
    std::size_t used = 0;
    char* in = const_cast<char*>(input.data());
    const char* const end = input.data() + input.size();
    // Only a given pump costs a look at the clock.
    std::optional<PumpThrottle> throttle;
    if (pump) throttle.emplace(pump);
    bool good = true;
    while (in < end) {
        std::size_t inLeft = std::min<std::size_t>(static_cast<std::size_t>(end - in), kSlice);
        const bool lastSlice = in + inLeft == end;
        char* dst = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            if (errno == EINVAL && !lastSlice) continue;
            // EILSEQ, or EINVAL for a truncated sequence at the very end.
            if (!replace) {
                good = false;
                break;
            }
            std::size_t skip = charLength(input, static_cast<std::size_t>(in - input.data()));
            in += std::min(skip, static_cast<std::size_t>(end - in));
            if (out.size() - used < 4) out.resize(out.size() * 2);
            out[used++] = '?';
            continue;
        }
        if (throttle) throttle->Tick();
    }
    while (good) {
        char* dst = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t r = iconv(cd, nullptr, nullptr, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno != E2BIG) {
            good = false;
            break;
        }
        out.resize(out.size() * 2);
    }
    iconv_close(cd);
    if (!good) {
        if (ok) *ok = false;
        return {};
    }
    out.resize(used);
    return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code points of UTF-16LE units; unpaired surrogates become U+FFFD and an
// odd last byte is dropped.
std::vector<std::uint32_t> Utf16LeCodePoints(std::string_view utf16le) {
    std::vector<std::uint32_t> out;
    out.reserve(utf16le.size() / 2);
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(utf16le[i + 1])) << 8;
    };
    for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < utf16le.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        out.push_back(u);
    }
    return out;
}

std::string CodePointsToUtf8(const std::vector<std::uint32_t>& cps) {
    std::string out;
    for (std::uint32_t cp : cps) AppendUtf8(out, cp);
    return out;
}

}  // namespace

std::string ConvertEncoding(std::string_view input, const char* from, const char* to, bool* ok,
                            EventPump* pump) {
    return Iconv(input, from, to, false, ok, OneByte, pump);
}

Text Utf8ToGbk(std::string_view utf8) {
    return Iconv(utf8, "UTF-8", "GBK", true, nullptr);
}

std::string GbkToUtf8(std::string_view gbk) {
    // A pair that GBK leaves unassigned is still one character: skipping only
    // its lead byte would pair the trail byte with the next character.
    return Iconv(gbk, "GBK", "UTF-8", true, nullptr, GbkCharLength);
}

std::string Utf16LeToUtf8(std::string_view utf16le) {
    return CodePointsToUtf8(Utf16LeCodePoints(utf16le));
}

Text Utf16LeToGbk(std::string_view utf16le) {
    const std::vector<std::uint32_t> cps = Utf16LeCodePoints(utf16le);
    if (std::all_of(cps.begin(), cps.end(), [](std::uint32_t c) { return c < 0x80; })) {
        return Text(cps.begin(), cps.end());
    }
    bool ok = false;
    Text whole = ConvertEncoding(CodePointsToUtf8(cps), "UTF-8", "GBK", &ok);
    if (ok) return whole;
    Text out;
    for (std::uint32_t cp : cps) {
        std::string one;
        AppendUtf8(one, cp);
        Text converted = ConvertEncoding(one, "UTF-8", "GBK", &ok);
        out += ok ? converted : Text("?");
    }
    return out;
}

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
    const std::size_t b = text.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    return text.substr(b, text.find_last_not_of(blanks) - b + 1);
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
