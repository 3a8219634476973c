#pragma once
// Turning web pages in whatever encoding the server used into GBK text.

#include <optional>
#include <string_view>

#include "support/Text.h"

namespace box {

class EventPump;

// Charset codes of DecodePageText, in and out.
constexpr int kCharsetDetect = 0;  // in: detect; during detection: not recognised
constexpr int kCharsetSystem = 1;  // GBK already; no conversion
constexpr int kCharsetUtf8 = 2;
constexpr int kCharsetUtf16Le = 3;
constexpr int kCharsetUtf16Be = 4;
constexpr int kCharsetBig5 = 5;
constexpr int kCharsetBig5Hkscs = 6;

// The page as GBK text. With code 0 the charset comes from a byte-order mark,
// else from a meta charset declaration, else from a well-formed UTF-8 test.
// A given code 3 or 4 skips the first two bytes (the mark) unconditionally.
// When nothing converts, the raw bytes up to the first zero byte are returned
// and detected is 1. detected receives the code finally used.
// The pump, when given, runs now and then on large pages.
Text DecodePageText(std::string_view bytes, int code = kCharsetDetect, int* detected = nullptr,
                    EventPump* pump = nullptr);
Text DecodePageText(const Bytes& bytes, int code = kCharsetDetect, int* detected = nullptr,
                    EventPump* pump = nullptr);

// The charset that the page's meta tags declare inside <head> (or the whole
// page when it has no head): 1 UTF-8, 2 Big5, 3 Big5-HKSCS. The search stops
// at the first tag that declares one of them, and at the first empty tag.
std::optional<int> DetectMetaCharset(std::string_view page);

// True when the bytes hold at least one non-ASCII byte and every non-ASCII
// byte belongs to a complete two- or three-byte UTF-8 sequence.
bool LooksLikeUtf8(std::string_view bytes, EventPump* pump = nullptr);

// Converts between iconv charset names; empty on any conversion error.
Bytes ConvertCharset(std::string_view bytes, const Text& from, const Text& to,
                     EventPump* pump = nullptr);

}  // namespace box
