#pragma once
// Text as the box keeps it: GBK bytes in a std::string. Lengths and positions
// are byte counts; a Chinese character counts two. Conversion to UTF-8 happens
// only at the edges (Qt, file names on disk, source literals).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace box {

class EventPump;

using Text = std::string;                 // GBK bytes
using Bytes = std::vector<std::uint8_t>;  // counted byte array, may be empty

// Generic charset conversion through iconv. On any conversion error the
// result is empty and ok (when given) is false. The pump, when given, runs
// now and then on large inputs.
std::string ConvertEncoding(std::string_view input, const char* from, const char* to,
                            bool* ok = nullptr, EventPump* pump = nullptr);

// GBK <-> UTF-8. Bytes that do not convert are replaced by '?' so that a
// malformed input never loses the rest of the text.
Text Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

// UTF-16LE (as Windows file formats store names) to UTF-8 and to GBK. An
// unpaired surrogate counts as a character that GBK lacks; in GBK each such
// character becomes one '?', the way the system's conversion to the ANSI code
// page does, so a damaged name still reads as text of the same length. An odd
// last byte is dropped; zero units stay zero bytes.
std::string Utf16LeToUtf8(std::string_view utf16le);
Text Utf16LeToGbk(std::string_view utf16le);

// True when the byte is the lead byte of a GBK double-byte character.
inline bool IsGbkLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// True when the byte can be the second byte of a GBK double-byte character.
inline bool IsGbkTrailByte(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// Length in bytes of the GBK character starting at pos: 2 for a lead byte
// followed by a trail byte, else 1 (a stray lead byte stands alone, so that
// it cannot swallow the ASCII character after it).
std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// "汀芷"_gbk: a UTF-8 literal in the source, GBK bytes at run time.
Text operator""_gbk(const char* utf8, std::size_t size);

// The text without any of the blank bytes at either end.
constexpr std::string_view kBlanks = " \t\r\n";
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = kBlanks);

// Pads text with blanks up to width bytes (nothing when already as long).
Text PadToBytes(Text text, std::size_t width);

// Replaces every occurrence of what by with (byte-wise).
Text ReplaceAll(Text text, std::string_view what, std::string_view with);

// Splits at every occurrence of sep; an empty text gives one empty part.
std::vector<Text> Split(std::string_view text, std::string_view sep);

// ASCII lower case of a text; GBK trail bytes are left untouched.
Text AsciiLower(std::string_view text);

// Decimal text of an integer and the leading number of a text ("12abc" -> 12).
Text ToText(long long value);
double LeadingNumber(std::string_view text);

}  // namespace box
