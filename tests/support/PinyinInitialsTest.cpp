#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "support/PinyinInitials.h"
#include "support/Text.h"

namespace box {
namespace {

const char* const kUnihanReadings = "/usr/share/unicode/Unihan_Readings.txt.bz2";

char InitialOf(const Text& gbkChar) {
    return PinyinInitial(static_cast<unsigned char>(gbkChar[0]),
                         static_cast<unsigned char>(gbkChar[1]));
}

TEST(PinyinInitials, KnownCharactersGiveTheirLowerCaseInitial) {
    const std::pair<const char*, char> known[] = {
        {"汀", 't'}, {"芷", 'z'}, {"软", 'r'}, {"件", 'j'}, {"盒", 'h'}, {"子", 'z'},
        {"啊", 'a'}, {"齄", 'z'}, {"嗯", 'n'}, {"下", 'x'}, {"载", 'z'}};
    for (const auto& [utf8, initial] : known) {
        EXPECT_EQ(InitialOf(Utf8ToGbk(utf8)), initial) << utf8;
    }
    const Text text = "v1软件"_gbk;
    EXPECT_EQ(PinyinInitialAt(text, 2), 'r');
    EXPECT_EQ(PinyinInitialAt(text, 4), 'j');
}

TEST(PinyinInitials, OnlyGb2312HanziHaveOne) {
    // Symbols of GB2312, GBK's own hanzi, the codes after the last hanzi of
    // row D7, ASCII, and bytes just outside the ranges.
    for (const Text& other : {"，"_gbk, "Ａ"_gbk, "丂"_gbk, Text("\xD7\xFA"), Text("\xD7\xFE"),
                              Text("ab"), Text("\xAF\xA1"), Text("\xF8\xA1"), Text("\xB0\xA0"),
                              Text("\xB0\xFF"), Text("\xB0\x41")}) {
        EXPECT_EQ(InitialOf(other), 0) << GbkToUtf8(other);
    }
    // A character cut off at the end of the text, and positions past it.
    const Text cut = "a\xB0";
    EXPECT_EQ(PinyinInitialAt(cut, 1), 0);
    EXPECT_EQ(PinyinInitialAt(cut, 2), 0);
    EXPECT_EQ(PinyinInitialAt("", 0), 0);
}

TEST(PinyinInitials, EveryGb2312HanziHasALetter) {
    int count = 0;
    for (unsigned lead = 0xB0; lead <= 0xF7; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
            const char c =
                PinyinInitial(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            if (c == 0) continue;
            EXPECT_TRUE(c >= 'a' && c <= 'z') << std::hex << lead << trail;
            ++count;
        }
    EXPECT_EQ(count, 6763);
}

// The Unihan file, decompressed, or "" when it is not there.
std::string ReadBzip2File(const char* path) {
    archive* a = archive_read_new();
    archive_read_support_filter_bzip2(a);
    archive_read_support_format_raw(a);
    std::string text;
    archive_entry* entry = nullptr;
    if (archive_read_open_filename(a, path, 1 << 16) == ARCHIVE_OK &&
        archive_read_next_header(a, &entry) == ARCHIVE_OK) {
        char buffer[1 << 16];
        la_ssize_t n = 0;
        while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        if (n < 0) text.clear();
    }
    archive_read_free(a);
    return text;
}

// The base letter of a pinyin syllable's first character: tone marks go.
char BaseLetter(std::string_view syllable) {
    if (syllable.empty()) return 0;
    const auto c = static_cast<unsigned char>(syllable[0]);
    if (c < 0x80) return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static const std::map<std::string, char> marked = {
        {"ā", 'a'}, {"á", 'a'}, {"ǎ", 'a'}, {"à", 'a'}, {"ē", 'e'}, {"é", 'e'},
        {"ě", 'e'}, {"è", 'e'}, {"ê", 'e'}, {"ō", 'o'}, {"ó", 'o'}, {"ǒ", 'o'},
        {"ò", 'o'}, {"ń", 'n'}, {"ň", 'n'}, {"ǹ", 'n'}, {"ḿ", 'm'}};
    for (const auto& [mark, letter] : marked)
        if (syllable.substr(0, mark.size()) == mark) return letter;
    return 0;
}

TEST(PinyinInitials, TableAgreesWithTheInstalledHanDatabase) {
    if (!std::filesystem::exists(kUnihanReadings))
        GTEST_SKIP() << kUnihanReadings << " is not installed (Debian package unicode-data)";
    const std::string readings = ReadBzip2File(kUnihanReadings);
    ASSERT_FALSE(readings.empty()) << "cannot read " << kUnihanReadings;

    // Code point (as UTF-8) -> first reading.
    std::map<std::string, std::string> mandarin;
    std::istringstream lines(readings);
    std::string line;
    while (std::getline(lines, line)) {
        const auto tab1 = line.find('\t');
        if (line.rfind("U+", 0) != 0 || tab1 == std::string::npos ||
            line.compare(tab1, 11, "\tkMandarin\t") != 0)
            continue;
        const char32_t code =
            static_cast<char32_t>(std::stoul(line.substr(2, tab1 - 2), nullptr, 16));
        std::string utf8;
        if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | code >> 12);
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
        const std::string value = line.substr(tab1 + 11);
        mandarin[utf8] = value.substr(0, value.find(' '));
    }
    ASSERT_GT(mandarin.size(), 20'000u);

    // glibc's GBK decoder, not the generator's, names the characters here.
    int checked = 0;
    for (unsigned lead = 0xB0; lead <= 0xF7; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
            const Text gbk = {static_cast<char>(lead), static_cast<char>(trail)};
            bool ok = false;
            const std::string utf8 = ConvertEncoding(gbk, "GBK", "UTF-8", &ok);
            const auto reading = ok ? mandarin.find(utf8) : mandarin.end();
            if (reading == mandarin.end()) {
                EXPECT_EQ(InitialOf(gbk), 0) << std::hex << lead << trail;
                continue;
            }
            ++checked;
            EXPECT_EQ(InitialOf(gbk), BaseLetter(reading->second))
                << utf8 << " " << reading->second;
        }
    EXPECT_EQ(checked, 6763);
}

}  // namespace
}  // namespace box
