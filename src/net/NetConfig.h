#pragma once
// What the box's configuration gives every HTTP object: decided once at
// start-up, never looked up while a request runs.

#include <string>

#include "support/Text.h"

namespace box {

struct NetConfig {
    // A PEM file of certificate authorities for HTTPS, libcurl's CA file (a
    // test server's or a private installation's); "": libcurl's default.
    std::string caFile{};
    // What a request's "IE" proxy stands for: the system proxy in the server
    // form of ProxySettings::Set; "": none, a direct connection.
    Text systemProxy{};
};

}  // namespace box
