// The resolvers' text helpers on any answer text and any markers: searches,
// cutting values out between markers step by step, and URL encoding.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>

#include "FuzzTarget.h"
#include "TestDoubles.h"
#include "resolve/UrlText.h"
#include "support/TextSearch.h"

namespace box::fuzz {

namespace {

constexpr std::size_t kMaxMarkerBytes = 24;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Undoes UrlEncode, or gives nullopt when a byte is neither kept nor %XX in
// upper-case hex.
std::optional<std::string> PercentDecode(std::string_view encoded) {
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
            c == '.' || c == '_' || c == '-') {
            out += c;
            continue;
        }
        if (c != '%' || i + 2 >= encoded.size() || HexValue(encoded[i + 1]) < 0 ||
            HexValue(encoded[i + 2]) < 0)
            return std::nullopt;
        out += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
        i += 2;
    }
    return out;
}

// A marker that the retry without double quotes leaves empty.
bool QuotesOnly(std::string_view marker) {
    Text m = ReplaceAll(Text(marker), "''", "\"");
    std::erase(m, '"');
    return !marker.empty() && m.empty();
}

}  // namespace

std::vector<std::string> Seeds() {
    const std::string answer = R"({"errno":0,"data":{"downloadurl":"http:\/\/127.0.0.1\/f.rar",)" +
                               Utf8ToGbk(R"("name":"汀芷·截图.rar"},"list":[{"id":1},{"id":2}]})");
    const std::string page = Utf8ToGbk(
        "<html><a href=\"/s/1\">下载</a><A HREF='/s/2'>高速下载</A>\xd7\xfa<b>x</b></html>");
    return {
        ProviderInput({"downloadurl", "''downloadurl'':''", "''"}, answer + '\x01'),
        ProviderInput({"\"id\":", "{", "}"}, answer + std::string("\x00\x05", 2)),
        ProviderInput({"href=", "href=\"", "\""}, page + "\x01\x00\x01"),
        ProviderInput({"下载"_gbk, "", "</a>"}, page + "\x00\x03"),
        ProviderInput({"", "<b>", ""}, page),
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    FuzzedDataProvider in(data, size);
    const std::string what = in.ConsumeRandomLengthString(fuzz::kMaxMarkerBytes);
    const std::string left = in.ConsumeRandomLengthString(fuzz::kMaxMarkerBytes);
    const std::string right = in.ConsumeRandomLengthString(fuzz::kMaxMarkerBytes);
    const bool fromRight = in.ConsumeBool();
    const int start =
        in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(-1, 300);
    const std::string text = in.ConsumeRemainingBytesAsString();

    // An empty what is found at 1, wherever the search starts.
    const int found = FindText(text, what, start);
    fuzz::Check(found == 0 || (what.empty() ? found == 1
                                            : found >= std::max(start, 1) &&
                                                  found - 1 + what.size() <= text.size()),
                "FindText finds inside the text, at or after start");
    const int before = FindTextBefore(text, what, start);
    fuzz::Check(before == 0 || (before >= 1 && before - 1 + what.size() <=
                                                   std::min<std::size_t>(start - 1, text.size())),
                "FindTextBefore finds a match that ends before its limit");

    // Stepping through the occurrences the way the callers do, up to the
    // first empty value. Each value found moves start forward, except where
    // the retry without quotes empties a marker: an empty marker is found at
    // 1, wherever the search starts.
    const bool markersStay = !fuzz::QuotesOnly(left) && !fuzz::QuotesOnly(right);
    int position = start;
    for (int step = 0; step < 32; ++step) {
        const int from = position;
        const Text value = TextBetween(text, left, right, position, fromRight);
        if (value.empty()) break;
        fuzz::Check(value.size() <= text.size(), "a value between markers comes from the text");
        fuzz::Check(!markersStay || position > from, "a value found moves start past it");
    }
    UrlHostPart(text);

    test::ScriptedEventPump pump;
    const Text encoded = UrlEncode(text, size % 2 ? &pump : nullptr);
    std::string utf8 = GbkToUtf8(text);
    std::erase(utf8, '\0');
    fuzz::Check(fuzz::PercentDecode(encoded) == utf8,
                "UrlEncode is percent-encoded UTF-8 of the text");
    return 0;
}
