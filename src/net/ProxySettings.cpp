#include "net/ProxySettings.h"

#include <vector>

#include "net/HttpWire.h"

namespace box {

namespace {

std::vector<std::string> Entries(const Text& list, std::string_view separators) {
    std::vector<std::string> entries;
    std::string entry;
    for (char c : list) {
        if (separators.find(c) != std::string_view::npos) {
            if (!entry.empty()) entries.push_back(std::move(entry));
            entry.clear();
        } else {
            entry += c;
        }
    }
    if (!entry.empty()) entries.push_back(std::move(entry));
    return entries;
}

}  // namespace

bool ProxySettings::Set(int setting, const Text& server, const Text& bypass) {
    if (setting == kProxyDefault || setting == kProxyDirect) {
        http_.clear();
        https_.clear();
        noProxy_.clear();
        return true;
    }
    if (setting != kProxyNamed || HasLineBreakOrZero(server) || HasLineBreakOrZero(bypass)) {
        return false;
    }
    std::string any, forHttp, forHttps;
    for (const std::string& entry : Entries(server, "; \t")) {
        std::size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            any = entry;
            continue;
        }
        std::string scheme = AsciiLower(entry.substr(0, eq));
        if (scheme == "http") forHttp = entry.substr(eq + 1);
        if (scheme == "https") forHttps = entry.substr(eq + 1);
    }
    if (any.empty() && forHttp.empty() && forHttps.empty()) return false;
    http_ = forHttp.empty() ? any : forHttp;
    https_ = forHttps.empty() ? any : forHttps;

    noProxy_.clear();
    for (std::string entry : Entries(bypass, "; \t,")) {
        // libcurl has no word for "names without a dot"; localhost is the one that matters.
        if (entry == "<local>") entry = "localhost";
        // A domain in libcurl's list covers its subdomains already.
        if (entry.rfind("*.", 0) == 0) entry.erase(0, 2);
        if (!noProxy_.empty()) noProxy_ += ',';
        noProxy_ += entry;
    }
    return true;
}

const std::string& ProxySettings::For(std::string_view url) const {
    return IsHttpsUrl(url) ? https_ : http_;
}

}  // namespace box
