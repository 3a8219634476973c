#pragma once
// Building request addresses.

#include <string_view>

#include "support/Text.h"

namespace box {

class EventPump;

// The host part of a URL: between "//" (or the start) and the next "/", with
// its case and any port kept.
Text UrlHostPart(std::string_view url);

// Percent-encodes GBK text as UTF-8: ASCII letters, digits, ".", "_" and "-"
// stay; every other byte becomes %XX (upper-case hex); zero bytes are dropped.
// Lets pending window events run on long texts when a pump is given.
Text UrlEncode(std::string_view text, EventPump* pump = nullptr);

}  // namespace box
