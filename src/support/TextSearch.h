#pragma once
// Finding and cutting values out of texts such as web answers.
//
// Positions are 1-based byte positions; 0 means "not found" (or, as a start
// position, "from the beginning", like 1). Every search here ignores the case
// of ASCII letters and never matches inside a GBK double-byte character: the
// two bytes of such a character are one unit, compared exactly.

#include <string_view>

#include "support/Text.h"

namespace box {

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

// Whether text contains (ASCII case ignored, GBK aware) at least one of the
// variants, given in one text separated by "[fg]". A pair of apostrophes in a
// variant stands for a double quote.
bool ContainsAny(std::string_view text, std::string_view variants);

// The text up to its first zero byte, the way byte buffers become text.
Text UpToFirstZero(std::string_view bytes);

}  // namespace box
