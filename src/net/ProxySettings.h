#pragma once
// Which proxy a request goes through, set the way the service object's
// SetProxy takes it.

#include <string>
#include <string_view>

#include "support/Text.h"

namespace box {

// SetProxy settings.
constexpr int kProxyDefault = 0;  // the machine default: no proxy
constexpr int kProxyDirect = 1;
constexpr int kProxyNamed = 2;

class ProxySettings {
public:
    // Default and direct clear the proxy. Named: server is "host:port" (a
    // scheme in front is allowed) or per scheme "http=host:port;https=host:port";
    // entries are separated by ";" or blanks. bypass lists hosts the same way;
    // "<local>" and "*.domain" are understood. False (and nothing changed)
    // for an unknown setting or a named proxy without a server.
    bool Set(int setting, const Text& server, const Text& bypass);

    // The proxy for a URL, "" for a direct connection.
    const std::string& For(std::string_view url) const;
    // Hosts reached directly, as a comma list.
    const std::string& NoProxy() const { return noProxy_; }

private:
    std::string http_;
    std::string https_;
    std::string noProxy_;
};

}  // namespace box
