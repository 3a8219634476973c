#include "net/CookieStore.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>

#include "net/HttpWire.h"
#include "support/TextSearch.h"

namespace box {

namespace {

constexpr std::string_view kMarker = "Set-Cookie: ";

// What the attributes of a cookie say about its end: 0 for none, -1 for
// "already over", else the time.
std::time_t ExpiryOf(std::string_view attributes, std::time_t now) {
    std::time_t expires = 0;
    for (std::string_view part : Split(attributes, ";")) {
        part = TrimBlanks(part);
        const std::size_t eq = part.find('=');
        const std::string_view key = TrimBlanks(part.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : TrimBlanks(part.substr(eq + 1));
        if (EqualsIgnoringCase(key, "max-age")) {
            // Max-Age wins over Expires, whatever their order.
            long long seconds = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec == std::errc::result_out_of_range) return seconds < 0 ? -1 : 0;
            if (ec != std::errc() || end != value.data() + value.size()) continue;
            if (seconds <= 0) return -1;
            return seconds > 100LL * 365 * 24 * 3600 ? 0 : now + static_cast<std::time_t>(seconds);
        }
        if (EqualsIgnoringCase(key, "expires") && expires == 0) {
            const std::string date(value);
            const std::time_t at = curl_getdate(date.c_str(), nullptr);
            if (at == -1) continue;
            expires = at <= now ? -1 : at;
        }
    }
    return expires;
}

}  // namespace

std::vector<SetCookieLine> ParseSetCookieLines(std::string_view head) {
    std::vector<SetCookieLine> cookies;
    if (FindText(head, kMarker) == 0) return cookies;
    while (!head.empty()) {
        const std::size_t end = head.find('\n');
        std::string_view line = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (FindText(line, kMarker) == 0) continue;
        // The marker need not start the line; the first 12 bytes go all the same.
        const std::string_view rest = line.substr(std::min(line.size(), kMarker.size()));
        const std::size_t eq = rest.find('=');
        SetCookieLine cookie;
        cookie.pair = Text(rest.substr(0, rest.find(';')));
        cookie.name = Text(rest.substr(0, eq));
        if (eq != std::string_view::npos) cookie.data = Text(rest.substr(eq + 1));
        cookies.push_back(std::move(cookie));
    }
    return cookies;
}

CookieStore& CookieStore::Process() {
    static CookieStore store;
    return store;
}

bool CookieStore::Set(std::string_view host, std::string_view name, std::string_view data) {
    name = TrimBlanks(name);
    if (name.empty() || HasLineBreakOrZero(name) || HasLineBreakOrZero(data) ||
        name.find_first_of(";=") != std::string_view::npos) {
        return false;
    }
    const std::size_t semicolon = data.find(';');
    const std::string_view value = TrimBlanks(data.substr(0, semicolon));
    const std::string_view attributes =
        semicolon == std::string_view::npos ? std::string_view() : data.substr(semicolon + 1);
    const std::time_t expires = ExpiryOf(attributes, std::time(nullptr));

    std::lock_guard lock(mutex_);
    std::vector<Cookie>& cookies = hosts_[Text(host)];
    std::erase_if(cookies, [&](const Cookie& c) { return c.name == name; });
    if (expires != -1) {
        if (cookies.size() >= kMaxPerHost) cookies.erase(cookies.begin());
        cookies.push_back({Text(name), Text(value), expires});
    }
    if (cookies.empty()) hosts_.erase(Text(host));
    return true;
}

Text CookieStore::CookieLine(std::string_view host) const {
    const std::time_t now = std::time(nullptr);
    std::lock_guard lock(mutex_);
    auto it = hosts_.find(Text(host));
    if (it == hosts_.end()) return {};
    Text line;
    for (const Cookie& c : it->second) {
        if (c.expires != 0 && c.expires <= now) continue;
        if (!line.empty()) line += "; ";
        line += c.name;
        line += '=';
        line += c.value;
    }
    return line;
}

void CookieStore::Clear() {
    std::lock_guard lock(mutex_);
    hosts_.clear();
}

}  // namespace box
