#include "platform/SystemProxy.h"

namespace box {

Text SystemProxyText(const Environment& environment) {
    auto fromEnvironment = [&environment](const char* lower, const char* upper) -> Text {
        Text value = environment.Get(lower);
        return value.empty() ? environment.Get(upper) : value;
    };
    Text http = fromEnvironment("http_proxy", "HTTP_PROXY");
    Text https = fromEnvironment("https_proxy", "HTTPS_PROXY");
    if (https.empty() || https == http) return http;
    if (http.empty()) return "https=" + https;
    return "http=" + http + ";https=" + https;
}

}  // namespace box
