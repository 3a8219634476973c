#include "resolve/UrlText.h"

#include "support/PumpThrottle.h"

namespace box {

Text UrlHostPart(std::string_view url) {
    // "/" is below the GBK trail-byte range, so plain byte searches are exact.
    std::size_t slashes = url.find("//");
    std::size_t begin = slashes == std::string_view::npos ? 0 : slashes + 2;
    std::size_t end = url.find('/', begin);
    if (end == std::string_view::npos) end = url.size();
    return Text(url.substr(begin, end - begin));
}

Text UrlEncode(std::string_view text, EventPump* pump) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string utf8 = GbkToUtf8(text);
    Text out;
    out.reserve(utf8.size() * 3);
    PumpThrottle throttle(pump);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
            c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else if (c != 0) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
        if ((i & 0xFFF) == 0xFFF) throttle.Tick();
    }
    return out;
}

}  // namespace box
