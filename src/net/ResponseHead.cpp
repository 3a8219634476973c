#include "net/ResponseHead.h"

#include <charconv>

#include "net/HttpWire.h"

namespace box {

namespace {

// A header value's optional white space: blanks and tabs only.
constexpr std::string_view kHeaderBlanks = " \t";

}  // namespace

bool ResponseHead::AddLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
        Clear();
        std::size_t sp = line.find(' ');
        if (sp != std::string_view::npos) {
            std::string_view rest = line.substr(sp + 1);
            std::from_chars(rest.data(), rest.data() + rest.size(), status_);
            std::size_t sp2 = rest.find(' ');
            if (sp2 != std::string_view::npos) reason_ = Text(rest.substr(sp2 + 1));
        }
        return true;
    }
    if (line.empty()) return false;
    lines_.append(line);
    lines_ += "\r\n";
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos &&
        EqualsIgnoringCase(line.substr(0, colon), "content-length")) {
        std::string_view v = TrimBlanks(line.substr(colon + 1), kHeaderBlanks);
        std::uint64_t n = 0;
        auto r = std::from_chars(v.data(), v.data() + v.size(), n);
        if (r.ec == std::errc() && r.ptr == v.data() + v.size()) contentLength_ = n;
    }
    return false;
}

void ResponseHead::Clear() {
    status_ = 0;
    reason_.clear();
    lines_.clear();
    contentLength_.reset();
}

Text ResponseHead::Header(std::string_view name) const {
    std::string_view rest = lines_;
    while (!rest.empty()) {
        std::size_t end = rest.find("\r\n");
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), name)) {
            return Text(TrimBlanks(line.substr(colon + 1), kHeaderBlanks));
        }
    }
    return {};
}

}  // namespace box
