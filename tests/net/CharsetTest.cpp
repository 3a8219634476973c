#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "net/Charset.h"
#include "support/Text.h"
#include "TestDoubles.h"

namespace box {
namespace {

using test::EncodePage;

Text Decode(std::string_view bytes, int code = kCharsetDetect, int* detected = nullptr) {
    return DecodePageText(bytes, code, detected);
}

TEST(DecodePageText, DetectsUtf8WithoutMarkAndLeavesAsciiAlone) {
    int detected = -1;
    EXPECT_EQ(Decode("<p>汀芷软件</p>", kCharsetDetect, &detected),
              "<p>" + "汀芷软件"_gbk + "</p>");
    EXPECT_EQ(detected, kCharsetUtf8);

    EXPECT_EQ(Decode("<html>plain</html>", kCharsetDetect, &detected), "<html>plain</html>");
    EXPECT_EQ(detected, kCharsetSystem);

    // GBK bytes are not well-formed UTF-8 and pass through as they are.
    EXPECT_EQ(Decode("汀芷"_gbk, kCharsetDetect, &detected), "汀芷"_gbk);
    EXPECT_EQ(detected, kCharsetSystem);

    EXPECT_EQ(Decode("", kCharsetDetect, &detected), "");
    EXPECT_EQ(detected, kCharsetSystem);
}

TEST(DecodePageText, ByteOrderMarksDecideAndAreDropped) {
    int detected = -1;
    EXPECT_EQ(Decode(EncodePage("中文", "UTF-8", true), kCharsetDetect, &detected), "中文"_gbk);
    EXPECT_EQ(detected, kCharsetUtf8);
    EXPECT_EQ(Decode(EncodePage("中文<a>", "UTF-16LE", true), kCharsetDetect, &detected),
              "中文"_gbk + "<a>");
    EXPECT_EQ(detected, kCharsetUtf16Le);
    EXPECT_EQ(Decode(EncodePage("中文", "UTF-16BE", true), kCharsetDetect, &detected), "中文"_gbk);
    EXPECT_EQ(detected, kCharsetUtf16Be);
    // A given UTF-8 code skips a mark when there is one.
    EXPECT_EQ(Decode(EncodePage("中", "UTF-8", true), kCharsetUtf8), "中"_gbk);
    EXPECT_EQ(Decode(EncodePage("中", "UTF-8", false), kCharsetUtf8), "中"_gbk);
}

TEST(DecodePageText, GivenUtf16CodesAlwaysDropTwoBytes) {
    int detected = -1;
    // No mark: the first character is lost.
    EXPECT_EQ(Decode(EncodePage("abc", "UTF-16LE"), kCharsetUtf16Le, &detected), "bc");
    EXPECT_EQ(detected, kCharsetUtf16Le);
    EXPECT_EQ(Decode(EncodePage("xy", "UTF-16BE", true), kCharsetUtf16Be), "xy");
    // Only the mark: nothing to convert, so the raw bytes come back.
    EXPECT_EQ(Decode("\xFF\xFE", kCharsetUtf16Le, &detected), "\xFF\xFE");
    EXPECT_EQ(detected, kCharsetSystem);
}

TEST(DecodePageText, FailedConversionFallsBackToTheRawBytesUpToTheFirstZero) {
    int detected = -1;
    // An odd number of UTF-16 bytes does not convert.
    EXPECT_EQ(Decode(std::string("\xFF\xFE"
                                 "a\0b",
                                 5),
                     kCharsetDetect, &detected),
              "\xFF\xFE"
              "a");
    EXPECT_EQ(detected, kCharsetSystem);
    // UTF-16 without a mark is not recognised and is cut at once.
    EXPECT_EQ(Decode(EncodePage("<html>", "UTF-16LE"), kCharsetDetect, &detected), "<");
    EXPECT_EQ(detected, kCharsetSystem);
    // Invalid UTF-8 under a given UTF-8 code.
    EXPECT_EQ(Decode("ab\xFF", kCharsetUtf8, &detected), "ab\xFF");
    EXPECT_EQ(detected, kCharsetSystem);
    // Codes outside the table convert nothing.
    EXPECT_EQ(Decode("x\xE4\xB8\xAD", 9, &detected), "x\xE4\xB8\xAD");
    EXPECT_EQ(detected, kCharsetSystem);
    // A converted text is cut at its first zero byte too.
    EXPECT_EQ(Decode(std::string("a\0b", 3), kCharsetUtf8, &detected), "a");
    EXPECT_EQ(detected, kCharsetUtf8);
}

TEST(DecodePageText, MetaCharsetFormsInTheHead) {
    const std::string big5Body = EncodePage("中文", "BIG5");
    int detected = -1;

    // The bare Big5-HKSCS form is taken as Big5: that list comes first and its
    // bare form is a prefix.
    std::string page = "<head><meta charset=Big5-HKSCS></head>" + big5Body;
    EXPECT_EQ(Decode(page, kCharsetDetect, &detected),
              "<head><meta charset=Big5-HKSCS></head>" + "中文"_gbk);
    EXPECT_EQ(detected, kCharsetBig5);

    std::string head = "<HEAD><Meta Charset=\"BIG5-HKSCS\"></HEAD>";
    EXPECT_EQ(Decode(head + big5Body, kCharsetDetect, &detected), head + "中文"_gbk);
    EXPECT_EQ(detected, kCharsetBig5Hkscs);

    page = "<head><meta charset='Big5-HKSCS'></head>" + EncodePage("中文", "BIG5-HKSCS");
    Decode(page, kCharsetDetect, &detected);
    EXPECT_EQ(detected, kCharsetBig5Hkscs);

    page =
        "<head><title>t</title><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=big5\"></head>" +
        big5Body;
    Decode(page, kCharsetDetect, &detected);
    EXPECT_EQ(detected, kCharsetBig5);

    head = "<head><meta charset=\"utf-8\"></head>";
    EXPECT_EQ(Decode(head + "\xE4\xB8\xAD", kCharsetDetect, &detected), head + "中"_gbk);
    EXPECT_EQ(detected, kCharsetUtf8);
}

TEST(DecodePageText, MetaSearchStopsAtAnEmptyTagAndStaysInTheHead) {
    const std::string big5Body = EncodePage("中文", "BIG5");
    int detected = -1;
    std::string page = "<head><meta charset=big5></head>" + big5Body;
    EXPECT_EQ(DetectMetaCharset(page), 2);

    page = "<head><meta><meta charset=big5></head>" + big5Body;
    EXPECT_EQ(DetectMetaCharset(page), std::nullopt);
    EXPECT_EQ(Decode(page, kCharsetDetect, &detected), page);
    EXPECT_EQ(detected, kCharsetSystem);

    // With a head, a declaration in the body does not count; without one the
    // whole page is searched.
    EXPECT_EQ(DetectMetaCharset("<head><title>x</title></head><meta charset=big5>"), std::nullopt);
    EXPECT_EQ(DetectMetaCharset("<html><meta name=a><meta charset=big5>"), 2);
    EXPECT_EQ(DetectMetaCharset("<head><meta charset=gb2312></head>"), std::nullopt);
}

TEST(LooksLikeUtf8, AcceptsOnlyCompleteTwoAndThreeByteSequences) {
    EXPECT_TRUE(LooksLikeUtf8("abc \xC3\xA9 \xE4\xB8\xAD"));
    EXPECT_FALSE(LooksLikeUtf8("all ascii"));
    EXPECT_FALSE(LooksLikeUtf8(""));
    EXPECT_FALSE(LooksLikeUtf8("\xF0\x9F\x98\x80"));  // four bytes
    EXPECT_FALSE(LooksLikeUtf8("ok \xE4\xB8"));       // cut at the end
    EXPECT_FALSE(LooksLikeUtf8("\xC3"));
    EXPECT_FALSE(LooksLikeUtf8("\xC3\x28"));
    EXPECT_FALSE(LooksLikeUtf8("\xA9"));  // a lone continuation byte
}

TEST(ConvertCharset, ConvertsOrGivesNothing) {
    Bytes gbk = ConvertCharset("中文", "UTF-8", "GB18030");
    EXPECT_EQ(std::string(gbk.begin(), gbk.end()), "中文"_gbk);
    EXPECT_TRUE(ConvertCharset("abc", "NO-SUCH-CHARSET", "GB18030").empty());
    EXPECT_TRUE(ConvertCharset("\xFF", "UTF-8", "GB18030").empty());
    EXPECT_TRUE(ConvertCharset("", "UTF-8", "GB18030").empty());
}

TEST(DecodePageText, LargePagesConvertAcrossSlicesWithoutAPumpPerByte) {
    // Three-byte characters straddle the 256 KiB slice boundaries.
    std::string page;
    while (page.size() < 3 * 1024 * 1024) page += "汀芷软件盒子 ok ";
    test::ScriptedEventPump pump;
    int detected = -1;
    Text text = DecodePageText(page, kCharsetDetect, &detected, &pump);
    EXPECT_EQ(detected, kCharsetUtf8);
    EXPECT_EQ(text, Utf8ToGbk(page));
    EXPECT_LT(pump.pumps, 1000);
}

}  // namespace
}  // namespace box
