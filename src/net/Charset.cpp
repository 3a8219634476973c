#include "net/Charset.h"

#include <algorithm>

#include "support/PumpThrottle.h"
#include "support/TextSearch.h"

namespace box {

namespace {

// Bytes between two looks at the clock in the byte loops: small enough that
// the pump runs every few milliseconds, large enough to keep the clock off the
// hot path.
constexpr std::size_t kPumpStride = 64 * 1024;

const char* SourceCharsetName(int code) {
    switch (code) {
        case kCharsetUtf8:
            return "UTF-8";
        case kCharsetUtf16Le:
            return "UTF-16LE";
        case kCharsetUtf16Be:
            return "UTF-16BE";
        case kCharsetBig5:
            return "BIG5";
        case kCharsetBig5Hkscs:
            return "BIG5-HKSCS";
        default:
            return nullptr;
    }
}

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

}  // namespace

Text DecodePageText(std::string_view bytes, int code, int* detected, EventPump* pump) {
    static constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    static constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
    static constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

    std::size_t pos = 0;
    int used = code;
    if (code != kCharsetDetect) {
        if (code == kCharsetUtf16Le || code == kCharsetUtf16Be) {
            pos = std::min<std::size_t>(2, bytes.size());
        } else if (code == kCharsetUtf8 && StartsWith(bytes, kUtf8Mark)) {
            pos = kUtf8Mark.size();
        }
    } else if (StartsWith(bytes, kUtf8Mark)) {
        used = kCharsetUtf8;
        pos = kUtf8Mark.size();
    } else if (StartsWith(bytes, kUtf16LeMark)) {
        used = kCharsetUtf16Le;
        pos = kUtf16LeMark.size();
    } else if (StartsWith(bytes, kUtf16BeMark)) {
        used = kCharsetUtf16Be;
        pos = kUtf16BeMark.size();
    } else if (auto meta = DetectMetaCharset(UpToFirstZero(bytes))) {
        static constexpr int kFromMeta[] = {0, kCharsetUtf8, kCharsetBig5, kCharsetBig5Hkscs};
        used = kFromMeta[*meta];
    }

    std::string_view content = bytes.substr(pos);
    if (used == kCharsetDetect && LooksLikeUtf8(content, pump)) used = kCharsetUtf8;

    Text result;
    if (const char* from = SourceCharsetName(used); from && !content.empty()) {
        result = UpToFirstZero(ConvertEncoding(content, from, "GB18030", nullptr, pump));
    }
    if (result.empty()) {
        result = UpToFirstZero(bytes);
        used = kCharsetSystem;
    }
    if (detected) *detected = used;
    return result;
}

Text DecodePageText(const Bytes& bytes, int code, int* detected, EventPump* pump) {
    return DecodePageText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), code, detected,
        pump);
}

std::optional<int> DetectMetaCharset(std::string_view page) {
    static const char* const kDeclarations[] = {
        "charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'",
        "charset=Big5[fg]charset=''Big5''[fg]charset='Big5'",
        "charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'",
    };
    Text head = TextBetween(page, "<head>", "</head>");
    std::string_view scope = head.empty() ? page : std::string_view(head);
    int start = 0;
    for (;;) {
        Text tag = TextBetween(scope, "<meta", ">", start);
        if (tag.empty()) return std::nullopt;
        for (int i = 0; i < 3; ++i) {
            if (ContainsAny(tag, kDeclarations[i])) return i + 1;
        }
    }
}

bool LooksLikeUtf8(std::string_view bytes, EventPump* pump) {
    PumpThrottle throttle(pump);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    bool sawNonAscii = false;
    std::size_t nextTick = kPumpStride;
    std::size_t i = 0;
    while (i < n) {
        if (i >= nextTick) {
            throttle.Tick();
            nextTick = i + kPumpStride;
        }
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
                   (p[i + 2] & 0xC0) == 0x80) {
            i += 3;
        } else {
            return false;
        }
        sawNonAscii = true;
    }
    return sawNonAscii;
}

Bytes ConvertCharset(std::string_view bytes, const Text& from, const Text& to, EventPump* pump) {
    std::string out = ConvertEncoding(bytes, from.c_str(), to.c_str(), nullptr, pump);
    return Bytes(out.begin(), out.end());
}

}  // namespace box
