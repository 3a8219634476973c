#pragma once
// Checks and encodings for what a request puts on the wire.

#include <string>
#include <string_view>

#include "support/Text.h"

namespace box {

// An HTTP token (method or header name): visible ASCII without separators.
bool IsHttpToken(std::string_view s);

// Header values and similar texts must not hold these, or they would end
// the line early and smuggle in text of their own.
bool HasLineBreakOrZero(std::string_view s);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The URL as it goes on the wire: GBK text in the chosen code page (65001
// for UTF-8, 936 for GBK bytes as they are), then every byte outside visible
// ASCII percent-encoded.
std::string WireUrl(const Text& url, long long codePage);

bool IsHttpsUrl(std::string_view url);

}  // namespace box
