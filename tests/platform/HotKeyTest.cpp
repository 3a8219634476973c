#include <gtest/gtest.h>

#include "platform/HotKey.h"

namespace box {
namespace {

TEST(HotKey, TextsAndTheirBytes) {
    EXPECT_EQ(ParseHotKey("Ctrl+Alt+F"), 0x0646);
    EXPECT_EQ(ParseHotKey(" alt + shift + f12 "), 0x057B);
    EXPECT_EQ(ParseHotKey("CONTROL+9"), 0x0239);
    EXPECT_EQ(ParseHotKey("Ctrl+Alt+NumLock"), 0x0690);
    EXPECT_EQ(ParseHotKey("Ext+Ctrl+Q"), 0x0A51);
    EXPECT_EQ(ParseHotKey("ext + alt + shift + ctrl + 1"), 0x0F31);
    EXPECT_EQ(ParseHotKey(""), 0);
    for (const char* bad : {"Ctrl+Alt+", "Ctrl+Alt", "Ctrl+F+G", "Ctrl+Alt+F25", "Ctrl+Alt+F0",
                            "Ctrl+Alt+Esc", "Ctrl+Alt+ß"}) {
        EXPECT_FALSE(ParseHotKey(bad)) << bad;
    }
    for (std::uint16_t key : {0x0646, 0x0187, 0x0730, 0x0291, 0x0A51, 0x0F90}) {
        EXPECT_EQ(ParseHotKey(FormatHotKey(key)), key) << FormatHotKey(key);
    }
}

}  // namespace
}  // namespace box
