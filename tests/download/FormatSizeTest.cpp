#include "download/FormatSize.h"

#include <gtest/gtest.h>

#include <cmath>

namespace box {
namespace {

TEST(FormatSizeTest, PicksTheLargestUnitAndRoundsToTwoDecimals) {
    EXPECT_EQ(FormatSize(0), "0 B");
    EXPECT_EQ(FormatSize(512), "512 B");
    EXPECT_EQ(FormatSize(1023), "1023 B");
    EXPECT_EQ(FormatSize(1024), "1 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(1048576), "1 MB");
    EXPECT_EQ(FormatSize(1234567), "1.18 MB");
    EXPECT_EQ(FormatSize(3.0 * 1024 * 1024 * 1024), "3 GB");
    EXPECT_EQ(FormatSize(std::pow(1024.0, 4) * 7.25), "7.25 TB");
    EXPECT_EQ(FormatSize(5 * std::pow(1024.0, 5)), "5 PB");
    EXPECT_EQ(FormatSize(2 * std::pow(1024.0, 6)), "2048 PB");
}

TEST(FormatSizeTest, UnitBoundariesAndHalvesFollowTheTolerances) {
    // A count a hair under a power of 1024, as floating point leaves it,
    // already shows in the larger unit.
    EXPECT_EQ(FormatSize(1024 - 0.00000001), "1 KB");
    EXPECT_EQ(FormatSize(1024 - 0.001), "1023.999 B");
    EXPECT_EQ(FormatSize(1024.0 * 1024 - 1), "1024 KB");  // 1023.999 KB rounds up
    // Half a cent rounds away from zero: 1.005 KB and 1.125 KB.
    EXPECT_EQ(FormatSize(1.005 * 1024), "1.01 KB");
    EXPECT_EQ(FormatSize(1.125 * 1024), "1.13 KB");
    EXPECT_EQ(FormatSize(1.124 * 1024), "1.12 KB");
    EXPECT_EQ(FormatSize(100 * 1024), "100 KB");
    EXPECT_EQ(FormatSize(1.5 * 1024 * 1024), "1.5 MB");
}

TEST(FormatSizeTest, OddInputStaysText) {
    EXPECT_EQ(FormatSize(-5), "-5 B");
    EXPECT_EQ(FormatSize(std::nan("")), "0 B");
    EXPECT_EQ(FormatSize(HUGE_VAL), "0 B");
}

}  // namespace
}  // namespace box
