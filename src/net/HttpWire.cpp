#include "net/HttpWire.h"

#include <algorithm>

namespace box {

namespace {

bool IsTokenChar(unsigned char c) {
    static constexpr std::string_view kSeparators = "()<>@,;:\\\"/[]?={}";
    return c > 0x20 && c < 0x7F && kSeparators.find(static_cast<char>(c)) == std::string_view::npos;
}

bool IsVisibleAscii(char c) {
    auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}

}  // namespace

bool IsHttpToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return IsTokenChar(static_cast<unsigned char>(c));
    });
}

bool HasLineBreakOrZero(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

std::string WireUrl(const Text& url, long long codePage) {
    if (std::all_of(url.begin(), url.end(), IsVisibleAscii)) return url;
    std::string bytes = codePage == 936 ? url : GbkToUtf8(url);
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        if (IsVisibleAscii(c)) {
            out += c;
        } else {
            auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        }
    }
    return out;
}

bool IsHttpsUrl(std::string_view url) {
    return AsciiLower(url.substr(0, 8)) == "https://";
}

}  // namespace box
