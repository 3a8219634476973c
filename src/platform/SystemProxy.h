#pragma once
// The proxy the user set for the whole system.

#include "platform/Environment.h"
#include "support/Text.h"

namespace box {

// The system proxy in the server form of a named proxy setting: "host:port"
// when one proxy serves both schemes, else "http=...;https=..." with the
// schemes that have one; "" when none is set. Read from http_proxy (else
// HTTP_PROXY) and https_proxy (else HTTPS_PROXY).
Text SystemProxyText(const Environment& environment);

}  // namespace box
