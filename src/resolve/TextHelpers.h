#pragma once
// Cutting values out of web answers and building request addresses.
//
// Positions are 1-based byte positions; 0 means "not found" (or, as a start
// position, "from the beginning", like 1). Every search here ignores the case
// of ASCII letters and never matches inside a GBK double-byte character: the
// two bytes of such a character are one unit, compared exactly.

#include <string_view>

#include "support/Text.h"

namespace box {

class EventPump;

// First occurrence of what at or after start. An empty what is found at 1
// when at least one byte remains at or after start.
int FindText(std::string_view text, std::string_view what, int start = 1);

// Last occurrence of what that ends before position before (so a match at L
// satisfies L + length(what) <= before). An empty what is found at 1 when at
// least one byte lies before position before.
int FindTextBefore(std::string_view text, std::string_view what, int before);

// The text between the markers, or "" when they are not found. In the markers
// a pair of apostrophes stands for one double quote, so JSON markers can be
// written without escapes. An empty left marker means the start of the text,
// an empty right one its end. When the markers hold double quotes and are not
// found, they are tried once more without them, so a marker written for a
// quoted key also finds the key unquoted.
//
// start (in/out): where the search begins; on success it receives the position
// just after the right marker, so repeated calls step through the occurrences.
// fromRight: find the right marker first, then the nearest left marker before it.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right, int& start,
                 bool fromRight = false);
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 bool fromRight = false);

// The host part of a URL: between "//" (or the start) and the next "/", with
// its case and any port kept.
Text UrlHostPart(std::string_view url);

// Percent-encodes GBK text as UTF-8: ASCII letters, digits, ".", "_" and "-"
// stay; every other byte becomes %XX (upper-case hex); zero bytes are dropped.
// Lets pending window events run on long texts when a pump is given.
Text UrlEncode(std::string_view text, EventPump* pump = nullptr);

}  // namespace box
