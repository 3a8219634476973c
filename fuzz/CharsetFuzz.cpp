// Web pages in any encoding turned into GBK text: byte-order marks, meta
// charset declarations, the UTF-8 test and the conversions themselves.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>

#include "FuzzTarget.h"
#include "TestDoubles.h"
#include "net/Charset.h"
#include "support/TextSearch.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    auto encode = [](const char* utf8, const char* charset) {
        bool ok = false;
        std::string out = ConvertEncoding(utf8, "UTF-8", charset, &ok);
        Check(ok, "a seed page converts");
        return out;
    };
    const char* page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=%s\">"
        "<title>%s</title></head><body><a href='/s/1'>%s</a></body></html>";
    // Big5 has traditional characters only.
    auto withCharset = [&](const char* declared, const char* charset, bool traditional = false) {
        char text[512];
        std::snprintf(text, sizeof text, page, declared, traditional ? "軟體盒子" : "软件盒子",
                      traditional ? "高速下載" : "高速下载");
        return encode(text, charset);
    };
    const std::string kDetect(1, static_cast<char>(kCharsetDetect));
    return {
        withCharset("utf-8", "UTF-8") + kDetect,
        withCharset("gb2312", "GBK") + kDetect,
        withCharset("big5", "BIG5", true) + kDetect,
        withCharset("big5-hkscs", "BIG5-HKSCS", true) + kDetect,
        "\xEF\xBB\xBF" + encode("无声明的页面", "UTF-8") + kDetect,
        "\xFF\xFE" + encode("<p>中文</p>", "UTF-16LE") + kDetect,
        "\xFE\xFF" + encode("<p>中文</p>", "UTF-16BE") + kDetect,
        encode("<p>中文</p>", "UTF-16LE") + static_cast<char>(kCharsetUtf16Le),
        encode("<meta charset=utf-8>汀芷", "UTF-8") + static_cast<char>(kCharsetUtf8),
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    FuzzedDataProvider in(data, size);
    const int code = in.ConsumeIntegralInRange(kCharsetDetect, kCharsetBig5Hkscs);
    const std::string page = in.ConsumeRemainingBytesAsString();

    test::ScriptedEventPump pump;
    int detected = -1;
    DecodePageText(page, code, &detected, size % 2 ? &pump : nullptr);
    fuzz::Check(detected >= kCharsetSystem && detected <= kCharsetBig5Hkscs,
                "the charset used is one of the known ones");
    fuzz::Check(code == kCharsetDetect || detected == code || detected == kCharsetSystem,
                "a given charset is used, or none");
    if (const std::optional<int> meta = DetectMetaCharset(page))
        fuzz::Check(*meta >= 1 && *meta <= 3, "a meta charset is UTF-8, Big5 or Big5-HKSCS");
    LooksLikeUtf8(page);
    ContainsAny(page, "charset=''utf-8''[fg]charset=utf-8[fg]<META");
    ContainsAny("charset=''utf-8''[fg]<meta", page);
    return 0;
}
